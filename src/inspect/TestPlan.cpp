// The class test's items, read from what a component's registration wrote under the classes.
#include "inspect/TestPlan.h"

#include <windows.h>

#include <cwctype>
#include <map>
#include <set>

#include "inspect/CheckFindings.h"
#include "inspect/CheckRegistration.h"
#include "win32/Text.h"

namespace check {
namespace {

using runner::TestItem;

// A key's path split at its backslashes.
std::vector<std::wstring_view> Parts(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    for (;;) {
        const auto slash = path.find(L'\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::wstring_view::npos) return parts;
        path.remove_prefix(slash + 1);
    }
}

// A value's text, "" when it has none or is no string.
std::wstring Text(const capture::Key& key, std::wstring_view name) {
    for (const capture::Value& value : key.values) {
        if (SameName(value.name, name) && (value.type == REG_SZ || value.type == REG_EXPAND_SZ)) return TextOf(value.data);
    }
    return {};
}

std::wstring Upper(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    return upper;
}

// A hexadecimal number of one to four digits (a version part, a locale), as the system reads key names.
std::optional<std::uint32_t> Hex(std::wstring_view text, std::size_t digits) {
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

struct Class {
    std::wstring id;  // the CLSID's text as registered
    std::wstring progId, description, threadingModel;
    bool inProcess = false;  // its InprocServer32 names a file
    bool ownFile = false;    // ... the capture's own
};

std::string Named(std::string label, const std::wstring& name) {
    return name.empty() ? label : label + " (" + Printable(name) + ")";
}

}  // namespace

std::optional<std::array<std::uint8_t, 16>> ParseGuid(std::wstring_view text) {
    // {01234567-0123-0123-0123-0123456789ab}: the first three groups are stored little-endian.
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return std::nullopt;
    const wchar_t* digits = text.data() + 1;
    for (const int dash : {8, 13, 18, 23}) {
        if (digits[dash] != L'-') return std::nullopt;
    }
    const auto byteAt = [&](int position) { return Hex(std::wstring_view(digits + position, 2), 2); };
    const int order[16][2] = {{0, 3}, {2, 2}, {4, 1}, {6, 0}, {9, 5}, {11, 4}, {14, 7}, {16, 6},
                              {19, 8}, {21, 9}, {24, 10}, {26, 11}, {28, 12}, {30, 13}, {32, 14}, {34, 15}};
    std::array<std::uint8_t, 16> bytes{};
    for (const auto& [position, index] : order) {
        const auto value = byteAt(position);
        if (!value) return std::nullopt;
        bytes[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(*value);
    }
    return bytes;
}

TestPlan PlanTest(const capture::Capture& capture) {
    std::vector<Class> classes;  // in the order their keys were written
    const auto classOf = [&classes](std::wstring_view id) -> Class& {
        for (Class& known : classes) {
            if (SameName(known.id, id)) return known;
        }
        classes.push_back({std::wstring(id), {}, {}, {}, false, false});
        return classes.back();
    };
    std::set<std::wstring> proxyStubs;  // upper-case CLSIDs
    struct Library {
        std::wstring id, version;
        std::uint32_t lcid;
    };
    std::vector<Library> libraries;
    std::map<std::wstring, std::wstring> libraryNames;  // "LIBID\VERSION", upper case -> name

    for (const capture::Key& key : capture.keys) {
        if (key.root != capture::Root::Classes) continue;
        const std::vector<std::wstring_view> parts = Parts(key.path);
        if (SameName(parts[0], L"CLSID") && parts.size() >= 2) {
            if (parts.size() == 2) classOf(parts[1]).description = Text(key, L"");
            if (parts.size() != 3) continue;
            if (SameName(parts[2], L"InprocServer32")) {
                Class& entry = classOf(parts[1]);
                const std::wstring server = Text(key, L"");
                entry.inProcess = !server.empty();
                entry.ownFile = entry.inProcess && SameFile(win32::Narrow(server), capture.file);
                entry.threadingModel = Text(key, L"ThreadingModel");
            } else if (SameName(parts[2], L"ProgID")) {
                classOf(parts[1]).progId = Text(key, L"");
            } else if (SameName(parts[2], L"VersionIndependentProgID")) {
                Class& entry = classOf(parts[1]);
                if (entry.progId.empty()) entry.progId = Text(key, L"");
            }
        } else if (SameName(parts[0], L"Interface") && parts.size() == 3 && SameName(parts[2], L"ProxyStubClsid32")) {
            const std::wstring proxy = Text(key, L"");
            if (!proxy.empty()) proxyStubs.insert(Upper(proxy));
        } else if (SameName(parts[0], L"TypeLib") && parts.size() >= 3) {
            if (parts.size() == 3) libraryNames[Upper(std::wstring(parts[1]) + L"\\" + std::wstring(parts[2]))] = Text(key, L"");
            if (parts.size() != 5) continue;
            const auto lcid = Hex(parts[3], 4);
            const bool platform = SameName(parts[4], L"win32") || SameName(parts[4], L"win64");
            if (!lcid || !platform) continue;
            bool known = false;
            for (const Library& library : libraries) {
                known = known || (SameName(library.id, parts[1]) && SameName(library.version, parts[2]) && library.lcid == *lcid);
            }
            if (!known) libraries.push_back({std::wstring(parts[1]), std::wstring(parts[2]), *lcid});
        }
    }

    TestPlan plan;
    for (const Class& entry : classes) {
        if (!entry.inProcess) continue;  // an out-of-process server's class, say
        if (!entry.ownFile) {
            ++plan.otherFileClasses;
            continue;
        }
        const auto id = ParseGuid(entry.id);
        if (!id) continue;
        TestItem item;
        item.id = *id;
        const bool proxyStub = proxyStubs.count(Upper(entry.id)) != 0;
        item.kind = proxyStub ? TestItem::Kind::ProxyStub : TestItem::Kind::Class;
        item.apartment = SameName(entry.threadingModel, L"Free") ? TestItem::Apartment::Multi : TestItem::Apartment::Single;
        const std::wstring& name = entry.progId.empty() ? entry.description : entry.progId;
        plan.items.push_back({item, Named((proxyStub ? "proxy/stub class " : "class ") + win32::Narrow(entry.id), name)});
    }
    for (const Library& library : libraries) {
        const auto id = ParseGuid(library.id);
        const auto dot = library.version.find(L'.');
        if (!id || dot == std::wstring::npos) continue;
        const auto major = Hex(std::wstring_view(library.version).substr(0, dot), 4);
        const auto minor = Hex(std::wstring_view(library.version).substr(dot + 1), 4);
        if (!major || !minor) continue;
        TestItem item;
        item.kind = TestItem::Kind::TypeLib;
        item.id = *id;
        item.major = static_cast<std::uint16_t>(*major);
        item.minor = static_cast<std::uint16_t>(*minor);
        item.lcid = library.lcid;
        const std::wstring& name = libraryNames[Upper(library.id + L"\\" + library.version)];
        plan.items.push_back({item, Named("type library " + win32::Narrow(library.id) + " " + std::to_string(*major) + "." +
                                              std::to_string(*minor),
                                          name)});
    }
    return plan;
}

}  // namespace check
