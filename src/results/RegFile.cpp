// The .reg files of captured registrations: where each key belongs, each value as regedit writes it.
#include "results/RegFile.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "results/Report.h"
#include "results/SaveWhole.h"

namespace velquist {
namespace {

// regedit ends a hex line with a backslash once the line has reached this many characters (so no
// line passes 80), and indents the next one by two spaces.
constexpr size_t kHexLineBreak = 77;
constexpr std::wstring_view kHexContinuation = L"\\\r\n  ";
constexpr size_t kContinuationIndent = 2;

// The classes 64-bit Windows keeps apart for 32-bit programs; the rest of the classes are shared.
constexpr std::wstring_view kRedirectedClasses[] = {L"CLSID", L"Interface", L"DirectShow", L"Media Type",
                                                    L"MediaFoundation"};
// Parents of the keys a component owns by GUID; shared by every component, so never removed whole.
constexpr std::wstring_view kGuidParents[] = {L"CLSID", L"Interface", L"TypeLib", L"AppID"};
constexpr std::wstring_view kWowNode = L"WOW6432Node";

constexpr std::wstring_view kLeftOutKey =
    L"\r\n; Left out: a key whose name holds a line break, which a .reg file cannot hold.\r\n";
constexpr std::wstring_view kLeftOutValue =
    L"; Left out: a value whose name holds a line break, which a .reg file cannot hold.";

// Registry names compare ordinally, ignoring case.
int CompareNames(std::wstring_view a, std::wstring_view b) {
    if (a.empty() || b.empty())
        return a.size() == b.size() ? CSTR_EQUAL : a.empty() ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
}
bool SameName(std::wstring_view a, std::wstring_view b) {
    return CompareNames(a, b) == CSTR_EQUAL;
}
struct NameLess {
    bool operator()(std::wstring_view a, std::wstring_view b) const { return CompareNames(a, b) == CSTR_LESS_THAN; }
};
using NameSet = std::set<std::wstring, NameLess>;

template <size_t N>
bool OneOf(std::wstring_view name, const std::wstring_view (&names)[N]) {
    return std::any_of(std::begin(names), std::end(names), [&](std::wstring_view n) { return SameName(name, n); });
}

bool IsThirtyTwoBit(std::uint16_t machine) {
    return machine == IMAGE_FILE_MACHINE_I386;
}

std::wstring_view FirstComponent(std::wstring_view path) {
    return path.substr(0, path.find(L'\\'));
}

// A line break or NUL would end the line early and turn the rest into lines of their own.
bool FitsOnALine(std::wstring_view text) {
    return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) == std::wstring_view::npos;
}

std::wstring LowerHex(std::uint32_t value, size_t minDigits) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), L'0');
    return digits;
}

std::wstring Quoted(std::wstring_view text) {
    std::wstring quoted = L"\"";
    for (const wchar_t c : text) {
        if (c == L'\\' || c == L'"') quoted += L'\\';
        quoted += c;
    }
    return quoted + L'"';
}

// "name"= or @= for the default value.
std::wstring NamePart(const std::wstring& name) {
    return name.empty() ? L"@=" : Quoted(name) + L"=";
}

// A string regedit can quote: whole UTF-16 units, one terminating NUL, no line break or NUL before it.
bool IsQuotable(const std::string& bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
    const std::wstring units = Utf16Units(bytes);
    return units.back() == L'\0' && FitsOnALine(std::wstring_view(units).substr(0, units.size() - 1));
}

// The bytes as two-digit hex separated by commas, broken where regedit breaks them; lineLength is
// what the line holds before the first byte.
std::wstring HexBytes(const std::string& bytes, size_t lineLength) {
    std::wstring text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        text += LowerHex(static_cast<unsigned char>(bytes[i]), 2);
        if (i + 1 == bytes.size()) break;
        text += L',';
        lineLength += 3;
        if (lineLength >= kHexLineBreak) {
            text += kHexContinuation;
            lineLength = kContinuationIndent;
        }
    }
    return text;
}

std::wstring HexTag(std::uint32_t type) {
    return type == REG_BINARY ? L"hex:" : L"hex(" + LowerHex(type, 1) + L"):";
}

std::wstring Header(const std::vector<capture::Capture>& captures, std::wstring_view purpose,
                    const std::wstring& date) {
    std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
    text += L"; " + std::wstring(purpose) + L" (captured by Velquist on " + date + L"):\r\n";
    for (const capture::Capture& capture : captures) {
        text +=
            L";   " + Wide(capture.file) + (IsThirtyTwoBit(capture.machine) ? L" (32-bit)" : L" (64-bit)") + L"\r\n";
    }
    text += L"; For 64-bit Windows: the keys of 32-bit components are placed in its 32-bit view (WOW6432Node).\r\n";
    return text;
}

bool IsBracedGuid(std::wstring_view text) {
    constexpr std::wstring_view kShape = L"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != kShape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool hexDigit = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        const bool ok = kShape[i] == L'x' ? hexDigit : c == kShape[i];
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool IsOwnKey(const capture::Key& key, const capture::Capture& capture) {
    if (key.root != capture::Root::Classes) return false;
    std::wstring_view path = key.path;
    // A component that names the 32-bit view itself owns the same keys there.
    if (path.size() > kWowNode.size() && SameName(FirstComponent(path), kWowNode))
        path.remove_prefix(kWowNode.size() + 1);
    const std::wstring_view first = FirstComponent(path);
    if (first.size() < path.size()) {
        const std::wstring_view rest = path.substr(first.size() + 1);
        return OneOf(first, kGuidParents) && IsBracedGuid(rest);
    }
    if (first.empty() || first.front() == L'.' || OneOf(first, kGuidParents) || SameName(first, kWowNode)) return false;
    const std::wstring classKey = key.path + L"\\CLSID";
    return std::any_of(capture.keys.begin(), capture.keys.end(), [&](const capture::Key& other) {
        return other.root == capture::Root::Classes && SameName(other.path, classKey);
    });
}

namespace {

// The key itself or one of its parents is in keys.
bool CoveredBy(const std::wstring& key, const NameSet& keys) {
    for (size_t end = key.find(L'\\'); end != std::wstring::npos; end = key.find(L'\\', end + 1)) {
        if (keys.count(key.substr(0, end)) != 0) return true;
    }
    return keys.count(key) != 0;
}

}  // namespace

std::wstring PlacedKey(capture::Root root, const std::wstring& path, std::uint16_t machine, bool perUser) {
    const bool wow = IsThirtyTwoBit(machine);
    const std::wstring_view first = FirstComponent(path);
    switch (root) {
        case capture::Root::Classes: {
            std::wstring key =
                perUser ? L"HKEY_CURRENT_USER\\Software\\Classes\\" : L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
            if (wow && OneOf(first, kRedirectedClasses)) key += std::wstring(kWowNode) + L"\\";
            return key + path;
        }
        case capture::Root::LocalMachine: {
            if (!SameName(first, L"Software")) return L"HKEY_LOCAL_MACHINE\\" + path;
            const std::wstring rest = first.size() < path.size() ? path.substr(first.size() + 1) : std::wstring();
            std::wstring key = L"HKEY_LOCAL_MACHINE\\SOFTWARE";
            // A component that names the 32-bit view itself is already there.
            if (wow && !SameName(FirstComponent(rest), kWowNode)) key += L"\\" + std::wstring(kWowNode);
            return rest.empty() ? key : key + L"\\" + rest;
        }
        case capture::Root::CurrentUser: return L"HKEY_CURRENT_USER\\" + path;
        case capture::Root::Users: break;
    }
    return L"HKEY_USERS\\" + path;
}

std::wstring ValueLine(const capture::Value& value) {
    if (!FitsOnALine(value.name)) return std::wstring(kLeftOutValue);
    const std::wstring name = NamePart(value.name);
    if (value.type == REG_SZ && IsQuotable(value.data)) {
        const std::wstring units = Utf16Units(value.data);
        return name + Quoted(std::wstring_view(units).substr(0, units.size() - 1));
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (size_t i = 4; i-- > 0;) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        return name + L"dword:" + LowerHex(number, 8);
    }
    const std::wstring tag = HexTag(value.type);
    return name + tag + HexBytes(value.data, name.size() + tag.size());
}

std::wstring DeletedValueLine(const std::wstring& name) {
    return FitsOnALine(name) ? NamePart(name) + L"-" : std::wstring(kLeftOutValue);
}

std::wstring RegistrationText(const std::vector<capture::Capture>& captures, bool perUser, const std::wstring& date) {
    std::wstring text = Header(captures, L"Registers these components", date);
    for (const capture::Capture& capture : captures) {
        for (const capture::Key& key : capture.keys) {
            // A key with subkeys and no values is made by its children; an empty leaf must be made itself.
            if (key.values.empty() && key.hasSubkeys) continue;
            const std::wstring placed = PlacedKey(key.root, key.path, capture.machine, perUser);
            if (!FitsOnALine(placed)) {
                text += kLeftOutKey;
                continue;
            }
            text += L"\r\n[" + placed + L"]\r\n";
            for (const capture::Value& value : key.values) text += ValueLine(value) + L"\r\n";
        }
    }
    return text + L"\r\n";
}

std::wstring RemovalText(const std::vector<capture::Capture>& captures, bool perUser, const std::wstring& date) {
    struct PlacedCapturedKey {
        std::wstring name;
        const capture::Key* key;
        bool own;
    };
    // Every component's own keys first, so that no value is removed from a key that goes whole.
    std::vector<PlacedCapturedKey> placed;
    NameSet ownKeys;
    for (const capture::Capture& capture : captures) {
        for (const capture::Key& key : capture.keys) {
            const bool own = IsOwnKey(key, capture);
            placed.push_back({PlacedKey(key.root, key.path, capture.machine, perUser), &key, own});
            if (own) ownKeys.insert(placed.back().name);
        }
    }

    std::wstring text = Header(captures, L"Removes the registration of these components", date);
    NameSet keysRemoved;
    for (const PlacedCapturedKey& entry : placed) {
        if (!entry.own && entry.key->values.empty()) continue;
        if (!FitsOnALine(entry.name)) {
            text += kLeftOutKey;
            continue;
        }
        if (entry.own) {
            if (keysRemoved.insert(entry.name).second) text += L"\r\n[-" + entry.name + L"]\r\n";
            continue;
        }
        if (CoveredBy(entry.name, ownKeys)) continue;
        text += L"\r\n[" + entry.name + L"]\r\n";
        for (const capture::Value& value : entry.key->values) {
            text += DeletedValueLine(value.name) + L"\r\n";
        }
    }
    return text + L"\r\n";
}

std::wstring Utf16Units(const std::string& bytes) {
    std::wstring units(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return units;
}

std::string Utf16Bytes(std::wstring_view units) {
    std::string bytes;
    bytes.reserve(2 * units.size());
    for (const wchar_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8 & 0xFF);
    }
    return bytes;
}

bool SaveRegFile(const std::string& path, const std::wstring& text, DWORD& error) {
    // UTF-16LE's byte-order mark, which regedit and reg import look for
    return SaveWhole(path, "\xFF\xFE" + Utf16Bytes(text), error);
}

}  // namespace velquist
