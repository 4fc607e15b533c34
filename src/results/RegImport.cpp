// A .reg file read back line by line, and its changes made in the registry.
#include "results/RegImport.h"

#include <utility>
#include <string_view>

#include "results/RegFile.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace velquist {
namespace {

constexpr std::wstring_view kVersionLine = L"Windows Registry Editor Version 5.00";
constexpr std::size_t kMaxFileBytes = 256u * 1024 * 1024;  // far beyond any undo or backup file

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool ParseHexNumber(std::wstring_view text, std::uint32_t& number) {
    if (text.empty() || text.size() > 8) return false;
    number = 0;
    for (const wchar_t c : text) {
        if (HexDigit(c) < 0) return false;
        number = number << 4 | static_cast<std::uint32_t>(HexDigit(c));
    }
    return true;
}

// A quoted name or string at text[at], its escapes (\\ and \") undone; `at` is left after its closing quote.
bool ParseQuoted(std::wstring_view text, std::size_t& at, std::wstring& out) {
    if (at >= text.size() || text[at] != L'"') return false;
    out.clear();
    for (++at; at < text.size(); ++at) {
        if (text[at] == L'"') {
            ++at;
            return true;
        }
        if (text[at] == L'\\' && at + 1 < text.size()) ++at;
        out += text[at];
    }
    return false;
}

// What follows the '=': -, "string", dword:xxxxxxxx, hex:bytes or hex(type):bytes.
bool ParseData(std::wstring_view data, RegEdit& edit) {
    if (data == L"-") {
        edit.kind = RegEdit::Kind::DeleteValue;
        return true;
    }
    edit.kind = RegEdit::Kind::SetValue;
    capture::Value& value = edit.value;
    if (!data.empty() && data.front() == L'"') {
        std::size_t at = 0;
        std::wstring text;
        if (!ParseQuoted(data, at, text) || at != data.size()) return false;
        value.type = REG_SZ;
        value.data = Utf16Bytes(text) + std::string(2, '\0');
        return true;
    }
    if (data.rfind(L"dword:", 0) == 0) {
        std::uint32_t number = 0;
        if (data.size() != 14 || !ParseHexNumber(data.substr(6), number)) return false;
        value.type = REG_DWORD;
        value.data.clear();
        for (int i = 0; i < 4; ++i) value.data += static_cast<char>(number >> (8 * i) & 0xFF);
        return true;
    }
    std::wstring_view bytes;
    if (data.rfind(L"hex:", 0) == 0) {
        value.type = REG_BINARY;
        bytes = data.substr(4);
    } else if (data.rfind(L"hex(", 0) == 0) {
        const std::size_t close = data.find(L"):");
        std::uint32_t type = 0;
        if (close == std::wstring_view::npos || !ParseHexNumber(data.substr(4, close - 4), type)) return false;
        value.type = type;
        bytes = data.substr(close + 2);
    } else {
        return false;
    }
    value.data.clear();
    for (std::size_t at = 0; at < bytes.size();) {
        if (at + 2 > bytes.size() || HexDigit(bytes[at]) < 0 || HexDigit(bytes[at + 1]) < 0) return false;
        value.data += static_cast<char>(HexDigit(bytes[at]) << 4 | HexDigit(bytes[at + 1]));
        at += 2;
        if (at < bytes.size() && bytes[at++] != L',') return false;
    }
    return true;
}

// A value's line: @=DATA or "name"=DATA.
bool ParseValueLine(std::wstring_view line, RegEdit& edit) {
    std::size_t at = 0;
    edit.value = {};
    if (line.rfind(L"@=", 0) == 0) {
        at = 1;
    } else if (!ParseQuoted(line, at, edit.value.name)) {
        return false;
    }
    if (at >= line.size() || line[at] != L'=') return false;
    return ParseData(line.substr(at + 1), edit);
}

std::wstring_view Trimmed(std::wstring_view line) {
    while (!line.empty() && (line.back() == L'\r' || line.back() == L' ' || line.back() == L'\t')) line.remove_suffix(1);
    return line;
}

struct Root { std::wstring_view name; HKEY key; };
const Root kRoots[] = {{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                       {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_USERS", HKEY_USERS},
                       {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};

bool SplitName(const std::wstring& name, HKEY& root, std::wstring& subKey) {
    const std::size_t split = name.find(L'\\');
    const std::wstring_view first = std::wstring_view(name).substr(0, split);
    for (const Root& candidate : kRoots) {
        if (first.size() == candidate.name.size() &&
            ::CompareStringOrdinal(first.data(), static_cast<int>(first.size()), candidate.name.data(),
                                   static_cast<int>(candidate.name.size()), TRUE) == CSTR_EQUAL) {
            root = candidate.key;
            subKey = split == std::wstring::npos ? std::wstring() : name.substr(split + 1);
            return true;
        }
    }
    return false;
}

constexpr REGSAM kView = KEY_WOW64_64KEY;  // regedit's: WOW6432Node names the 32-bit view

LONG Apply(const RegEdit& edit) {
    HKEY root = nullptr;
    std::wstring subKey;
    if (!SplitName(edit.key, root, subKey)) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    LONG error = ERROR_SUCCESS;
    switch (edit.kind) {
        case RegEdit::Kind::DeleteKey: {
            if (subKey.empty()) return ERROR_INVALID_PARAMETER;  // never a root
            error = ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | kView, &opened);
            const win32::unique_hkey key(opened);
            if (error == ERROR_SUCCESS) error = ::RegDeleteTreeW(key.get(), nullptr);
            if (error == ERROR_SUCCESS) error = ::RegDeleteKeyExW(root, subKey.c_str(), kView, 0);
            return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
        }
        case RegEdit::Kind::MakeKey:
        case RegEdit::Kind::SetValue: {
            error = ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, &opened,
                                      nullptr);
            const win32::unique_hkey key(opened);
            if (error != ERROR_SUCCESS || edit.kind == RegEdit::Kind::MakeKey) return error;
            const capture::Value& value = edit.value;
            return ::RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                                    reinterpret_cast<const BYTE*>(value.data.data()),
                                    static_cast<DWORD>(value.data.size()));
        }
        case RegEdit::Kind::DeleteValue: {
            error = ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_SET_VALUE | kView, &opened);
            const win32::unique_hkey key(opened);
            if (error == ERROR_SUCCESS) {
                error = ::RegDeleteValueW(key.get(), edit.value.name.empty() ? nullptr : edit.value.name.c_str());
            }
            return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
        }
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace

bool ParseRegText(const std::wstring& text, std::vector<RegSection>& sections, std::string& why) {
    sections.assign(1, RegSection{});
    std::wstring key;  // the key the value lines are in; "" before the first, or after a deletion
    bool sawVersion = false, blankBefore = false;
    unsigned number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line(Trimmed(std::wstring_view(text).substr(start, end - start)));
        start = end + 1;
        ++number;
        // A value's data that goes on: the line ends in a backslash, the next is indented.
        while (!line.empty() && line.back() == L'\\' && start < text.size()) {
            line.pop_back();
            end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            std::wstring_view next = Trimmed(std::wstring_view(text).substr(start, end - start));
            while (!next.empty() && (next.front() == L' ' || next.front() == L'\t')) next.remove_prefix(1);
            line += next;
            start = end + 1;
            ++number;
        }
        const auto bad = [&](const char* what) {
            why = "Line " + std::to_string(number) + " " + what + ".";
            return false;
        };
        if (!sawVersion) {
            if (line.empty()) continue;
            if (line != kVersionLine) return bad("is not \"Windows Registry Editor Version 5.00\"");
            sawVersion = true;
            blankBefore = false;
            continue;
        }
        if (line.empty()) {
            blankBefore = true;
            continue;
        }
        const bool afterBlank = std::exchange(blankBefore, false);
        if (line.front() == L';') {
            if (!afterBlank) continue;
            std::wstring_view comment = std::wstring_view(line).substr(1);
            if (!comment.empty() && comment.front() == L' ') comment.remove_prefix(1);
            sections.push_back({std::wstring(comment), {}});
            continue;
        }
        std::vector<RegEdit>& edits = sections.back().edits;
        if (line.front() == L'[') {
            if (line.size() < 3 || line.back() != L']') return bad("holds a key's name without its closing bracket");
            const bool deleted = line[1] == L'-';
            RegEdit edit;
            edit.kind = deleted ? RegEdit::Kind::DeleteKey : RegEdit::Kind::MakeKey;
            edit.key = line.substr(deleted ? 2 : 1, line.size() - (deleted ? 3 : 2));
            key = deleted ? std::wstring() : edit.key;
            edits.push_back(std::move(edit));
            continue;
        }
        RegEdit edit;
        if (!ParseValueLine(line, edit)) return bad("is neither a key, a value nor a comment");
        if (key.empty()) return bad("holds a value outside any key");
        edit.key = key;
        edits.push_back(std::move(edit));
    }
    if (!sawVersion) return (why = "The file is empty."), false;
    return true;
}

bool ReadRegFile(const std::string& path, std::wstring& text, DWORD& error) {
    const win32::unique_handle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!win32::IsValid(file)) {
        error = ::GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        error = ::GetLastError();
        return false;
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxFileBytes)) {
        error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        error = read != bytes.size() && ::GetLastError() == ERROR_SUCCESS ? ERROR_HANDLE_EOF : ::GetLastError();
        return false;
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        text = Utf16Units(bytes.substr(2));
    } else {
        text = win32::Wide(bytes);
    }
    error = ERROR_SUCCESS;
    return true;
}

LONG ApplyRegEdits(const std::vector<RegEdit>& edits) {
    LONG first = ERROR_SUCCESS;
    for (const RegEdit& edit : edits) {
        const LONG error = Apply(edit);
        if (error != ERROR_SUCCESS && first == ERROR_SUCCESS) first = error;
    }
    return first;
}

}  // namespace velquist
