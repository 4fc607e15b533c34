// A captured registration's classes, ProgIDs, type libraries and interfaces, read from its keys.
#include "inspect/ComRegistration.h"

#include <windows.h>

#include <cwctype>
#include <map>

#include "inspect/CheckFindings.h"
#include "inspect/CheckRegistration.h"
#include "win32/Text.h"

namespace check {
namespace {

// A value's text, "" when it has none or is no string.
std::wstring Text(const capture::Key& key, std::wstring_view name) {
    for (const capture::Value& value : key.values) {
        if (SameName(value.name, name) && (value.type == REG_SZ || value.type == REG_EXPAND_SZ)) return TextOf(value.data);
    }
    return {};
}

// A number stored as decimal text (as MiscStatus and FLAGS are) or as a DWORD.
std::optional<std::uint32_t> Number(const capture::Key& key) {
    for (const capture::Value& value : key.values) {
        if (!value.name.empty()) continue;
        if (value.type == REG_DWORD && value.data.size() >= 4) {
            std::uint32_t number = 0;
            for (int i = 3; i >= 0; --i) number = number * 256 + static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
            return number;
        }
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return std::nullopt;
        const std::wstring text = TextOf(value.data);
        if (text.empty() || text.size() > 10) return std::nullopt;
        std::uint64_t number = 0;
        for (const wchar_t c : text) {
            if (c < L'0' || c > L'9') return std::nullopt;
            number = number * 10 + static_cast<std::uint64_t>(c - L'0');
        }
        if (number > 0xFFFFFFFFu) return std::nullopt;
        return static_cast<std::uint32_t>(number);
    }
    return std::nullopt;
}

template <typename Item>
Item& Find(std::vector<Item>& items, std::wstring_view id) {
    for (Item& known : items) {
        if (SameName(known.id, id)) return known;
    }
    items.push_back({});
    items.back().id = std::wstring(id);
    return items.back();
}

void ReadClassKey(ComRegistration& com, const capture::Capture& capture, const capture::Key& key,
                  const std::vector<std::wstring_view>& parts) {
    ComClass& entry = Find(com.classes, parts[1]);
    if (parts.size() == 2) {
        entry.description = Text(key, L"");
        if (!Text(key, L"AppID").empty()) entry.outOfProcess = true;
        return;
    }
    const std::wstring_view sub = parts[2];
    if (parts.size() == 3 && SameName(sub, L"InprocServer32")) {
        entry.server = Text(key, L"");
        entry.ownFile = !entry.server.empty() && SameFile(win32::Narrow(entry.server), capture.file);
        entry.threadingModel = Text(key, L"ThreadingModel");
    } else if (parts.size() == 3 && SameName(sub, L"ProgID")) {
        entry.progId = Text(key, L"");
    } else if (parts.size() == 3 && SameName(sub, L"VersionIndependentProgID")) {
        entry.versionIndependentProgId = Text(key, L"");
    } else if (parts.size() == 3 && SameName(sub, L"TypeLib")) {
        entry.typeLib = Text(key, L"");
    } else if (SameName(sub, L"LocalServer32") || SameName(sub, L"LocalServer")) {
        entry.outOfProcess = true;
    } else if (SameName(sub, L"Implemented Categories") || SameName(sub, L"Required Categories")) {
        entry.categories = true;
    } else if (SameName(sub, L"MiscStatus")) {
        if (parts.size() == 3) {
            entry.miscStatus[0] = Number(key);
        } else if (parts.size() == 4) {
            const wchar_t* const aspects[] = {L"1", L"2", L"4", L"8"};
            for (std::size_t i = 0; i < 4; ++i) {
                if (SameName(parts[3], aspects[i])) entry.miscStatus[i + 1] = Number(key);
            }
        }
    }
}

// What a version of a type library says for all its locales: its name, FLAGS and HELPDIR.
struct VersionInfo {
    std::wstring name;
    std::optional<std::uint32_t> flags;
    std::wstring helpDir;
};
using VersionInfos = std::map<std::wstring, VersionInfo>;  // by "LIBID\VERSION", upper case

void ReadLibraryKey(ComRegistration& com, VersionInfos& versions, const capture::Key& key,
                    const std::vector<std::wstring_view>& parts) {
    if (parts.size() < 3) return;
    const auto dot = parts[2].find(L'.');
    if (dot == std::wstring_view::npos) return;
    const auto major = HexNumber(parts[2].substr(0, dot), 4);
    const auto minor = HexNumber(parts[2].substr(dot + 1), 4);
    if (!major || !minor) return;
    VersionInfo& version = versions[UpperCase(std::wstring(parts[1]) + L"\\" + std::wstring(parts[2]))];
    if (parts.size() == 3) {
        version.name = Text(key, L"");
        return;
    }
    if (parts.size() == 4 && SameName(parts[3], L"FLAGS")) {
        version.flags = Number(key);
        return;
    }
    if (parts.size() == 4 && SameName(parts[3], L"HELPDIR")) {
        version.helpDir = Text(key, L"");
        return;
    }
    if (parts.size() != 5) return;
    const bool win32 = SameName(parts[4], L"win32");
    if (!win32 && !SameName(parts[4], L"win64")) return;
    const auto lcid = HexNumber(parts[3], 4);
    if (!lcid) return;
    ComLibrary* found = nullptr;
    for (ComLibrary& library : com.libraries) {
        if (SameName(library.id, parts[1]) && SameName(library.version, parts[2]) && library.lcid == *lcid) found = &library;
    }
    if (found == nullptr) {
        ComLibrary library;
        library.id = std::wstring(parts[1]);
        library.version = std::wstring(parts[2]);
        library.major = static_cast<std::uint16_t>(*major);
        library.minor = static_cast<std::uint16_t>(*minor);
        library.lcid = *lcid;
        com.libraries.push_back(library);
        found = &com.libraries.back();
    }
    (win32 ? found->win32 : found->win64) = Text(key, L"");
}

void ReadInterfaceKey(ComRegistration& com, const capture::Key& key, const std::vector<std::wstring_view>& parts) {
    ComInterface& entry = Find(com.interfaces, parts[1]);
    if (parts.size() == 2) {
        entry.name = Text(key, L"");
    } else if (parts.size() == 3) {
        const std::wstring text = Text(key, L"");
        if (SameName(parts[2], L"ProxyStubClsid32")) entry.proxyStub = text;
        if (SameName(parts[2], L"ProxyStubClsid") && entry.proxyStub.empty()) entry.proxyStub = text;
        if (SameName(parts[2], L"NumMethods")) entry.numMethods = text;
        if (SameName(parts[2], L"BaseInterface")) entry.baseInterface = text;
        if (SameName(parts[2], L"TypeLib")) entry.typeLib = text;
    }
}

}  // namespace

std::vector<std::wstring_view> KeyParts(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    for (;;) {
        const auto slash = path.find(L'\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::wstring_view::npos) return parts;
        path.remove_prefix(slash + 1);
    }
}

std::optional<std::uint32_t> HexNumber(std::wstring_view text, std::size_t digits) {
    if (text.empty() || text.size() > digits) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : text) {
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10
                        : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::wstring UpperCase(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    return upper;
}

ComRegistration ReadComRegistration(const capture::Capture& capture) {
    ComRegistration com;
    VersionInfos versions;
    for (const capture::Key& key : capture.keys) {
        if (key.root != capture::Root::Classes) {
            ++com.keysOutside;
            continue;
        }
        const std::vector<std::wstring_view> parts = KeyParts(key.path);
        const std::wstring_view top = parts[0];
        if (SameName(top, L"CLSID")) {
            if (parts.size() >= 2) ReadClassKey(com, capture, key, parts);
        } else if (SameName(top, L"TypeLib")) {
            if (parts.size() >= 2) ReadLibraryKey(com, versions, key, parts);
        } else if (SameName(top, L"Interface")) {
            if (parts.size() >= 2) ReadInterfaceKey(com, key, parts);
        } else if (SameName(top, L"AppID")) {
            com.appIds = true;
        } else if (SameName(top, L"Component Categories")) {
            com.componentCategories = true;
        } else if (!top.empty() && top.front() == L'.') {
            bool known = false;
            for (const std::wstring& extension : com.associations) known = known || SameName(extension, top);
            if (!known) com.associations.emplace_back(top);
        } else if (parts.size() == 2 && SameName(parts[1], L"CLSID")) {
            com.progIds.push_back({std::wstring(top), Text(key, L"")});
        } else if (parts.size() == 1 && !key.hasSubkeys && key.values.empty()) {
            // An empty key of its own: nothing to carry.
        } else if (parts.size() == 1 || parts.size() == 2) {
            // A ProgID's own key and its CurVer, or a key of another kind: told apart once all is read.
            if (parts.size() == 1) com.otherKeys.emplace_back(top);
        }
    }
    // The keys directly under the classes that are ProgIDs (or their CurVer) are no other keys.
    std::vector<std::wstring> others;
    for (const std::wstring& name : com.otherKeys) {
        bool progId = false;
        for (const ProgIdKey& key : com.progIds) progId = progId || SameName(key.name, name);
        for (const ComClass& entry : com.classes) {
            progId = progId || SameName(entry.progId, name) || SameName(entry.versionIndependentProgId, name);
        }
        if (!progId) others.push_back(name);
    }
    com.otherKeys = std::move(others);
    for (ComLibrary& library : com.libraries) {
        const auto version = versions.find(UpperCase(library.id + L"\\" + library.version));
        if (version == versions.end()) continue;
        library.name = version->second.name;
        library.flags = version->second.flags;
        library.helpDir = version->second.helpDir;
    }
    return com;
}

}  // namespace check
