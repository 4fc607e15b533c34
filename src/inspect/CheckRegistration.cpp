// The registration check: each captured key and value looked up as COM would find it, and the verdict.
#include "inspect/CheckRegistration.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <optional>
#include <vector>

#include "inspect/CheckFiles.h"
#include "inspect/CheckFindings.h"
#include "pe/PeExports.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace check {
namespace {

using capture::Root;

constexpr wchar_t kClassesPath[] = L"Software\\Classes\\";

struct RegValue {
    DWORD type = REG_NONE;
    std::string data;
};

struct Located {
    win32::unique_hkey key;  // null when the key is absent
    Hive hive = Hive::Other;
};

win32::unique_hkey Open(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return win32::unique_hkey(key);
}

// The runners capture i386 and AMD64 components only; any other machine is read as 64-bit.
REGSAM ViewOf(std::uint16_t machine) {
    return machine == peexports::kMachineI386 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// Whether 64-bit Windows keeps a key of the classes apart for 32-bit programs (CLSID, Interface, ...):
// the others (ProgIDs, file types, type libraries) are one key that both bitnesses share.
bool KeptApartFor32Bit(const std::wstring& path) {
    const std::wstring first = path.substr(0, path.find(L'\\'));
    for (const wchar_t* apart : {L"CLSID", L"Interface", L"DirectShow", L"Media Type", L"MediaFoundation"}) {
        if (SameName(first, apart)) return true;
    }
    return false;
}

// The classes key at `path` under `root` in the view; a shared key asked for in the 32-bit view is also
// looked for where it is shared (Windows finds it there through that view by itself; Wine's 64-bit
// programs do not).
win32::unique_hkey OpenClasses(HKEY root, const std::wstring& path, const std::wstring& keyPath, REGSAM view) {
    if (auto key = Open(root, path, KEY_READ | view)) return key;
    if (view != KEY_WOW64_32KEY || KeptApartFor32Bit(keyPath)) return nullptr;
    return Open(root, path, KEY_READ | KEY_WOW64_64KEY);
}

// Which first keys of the classes (CLSID, Interface, a ProgID, ...) the user's classes have, each asked
// once in a check, and of a first key with few keys below it (often none: an empty CLSID is common),
// their names: most users have few, and every key the user lacks is the machine's.
class UserClassesTops {
public:
    explicit UserClassesTops(REGSAM view) : view_(view) {}
    bool MayHold(const std::wstring& keyPath) {
        const std::size_t end = keyPath.find(L'\\');
        const Top& top = TopOf(keyPath.substr(0, end));
        if (!top.there) return false;
        if (!top.listed || end == std::wstring::npos) return true;
        const std::size_t secondEnd = keyPath.find(L'\\', end + 1);
        const std::size_t length = secondEnd == std::wstring::npos ? std::wstring::npos : secondEnd - end - 1;
        return top.names.count(Folded(keyPath.substr(end + 1, length))) != 0;
    }

private:
    static constexpr DWORD kListedAtMost = 64;
    struct Top {
        bool there = false;
        bool listed = false;                // `names` holds every key below it
        std::set<std::wstring> names;       // folded
    };
    static std::wstring Folded(std::wstring name) {
        ::CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
        return name;
    }
    // Adds the names of the keys below `key` to top.names; false when there are too many to list.
    static bool List(HKEY key, Top& top) {
        DWORD count = 0;
        if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS ||
            count > kListedAtMost) {
            return false;
        }
        wchar_t subkey[256];  // a key name has at most 255 characters
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(std::size(subkey));
            const LONG error = ::RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr);
            if (error == ERROR_NO_MORE_ITEMS) return true;
            if (error != ERROR_SUCCESS || i >= kListedAtMost) return false;  // failed or grew: ask key by key
            top.names.insert(Folded(std::wstring(subkey, length)));
        }
    }
    const Top& TopOf(const std::wstring& name) {
        std::wstring folded = Folded(name);
        const auto known = tops_.find(folded);
        if (known != tops_.end()) return known->second;
        Top top;
        top.listed = true;
        // Where OpenClasses would look for a key below it: this view, and for a shared key asked for
        // in the 32-bit view, also the 64-bit one.
        std::vector<REGSAM> views{view_};
        if (view_ == KEY_WOW64_32KEY && !KeptApartFor32Bit(name)) views.push_back(KEY_WOW64_64KEY);
        for (const REGSAM view : views) {
            if (const win32::unique_hkey key = Open(HKEY_CURRENT_USER, kClassesPath + name, KEY_READ | view)) {
                top.there = true;
                top.listed = top.listed && List(key.get(), top);
            }
        }
        return tops_.emplace(std::move(folded), std::move(top)).first->second;
    }

    REGSAM view_;
    std::map<std::wstring, Top> tops_;
};

// A key as COM finds it: the user's classes hide the machine's key of the same path. HKEY_CLASSES_ROOT
// would merge the two for us, but Wine's shows only the machine's.
Located Locate(const capture::Key& key, REGSAM view, UserClassesTops& userTops) {
    switch (key.root) {
        case Root::Classes: {
            const std::wstring path = kClassesPath + key.path;
            if (userTops.MayHold(key.path)) {
                if (auto user = OpenClasses(HKEY_CURRENT_USER, path, key.path, view)) return {std::move(user), Hive::UserClasses};
            }
            return {OpenClasses(HKEY_LOCAL_MACHINE, path, key.path, view), Hive::MachineClasses};
        }
        case Root::LocalMachine: return {Open(HKEY_LOCAL_MACHINE, key.path, KEY_READ | view), Hive::Other};
        case Root::CurrentUser: return {Open(HKEY_CURRENT_USER, key.path, KEY_READ), Hive::Other};
        case Root::Users: return {Open(HKEY_USERS, key.path, KEY_READ), Hive::Other};
    }
    return {};
}

std::optional<RegValue> ReadValue(HKEY key, const std::wstring& name) {
    // One call for nearly every value: a buffer that holds any path, grown when the value is larger.
    RegValue value;
    DWORD size = 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {  // it may grow between the calls
        value.data.assign(size, '\0');
        DWORD got = size;
        const LONG error = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                              reinterpret_cast<BYTE*>(value.data.data()), &got);
        if (error == ERROR_SUCCESS) {
            value.data.resize(std::min<DWORD>(got, size));
            return value;
        }
        if (error != ERROR_MORE_DATA) return std::nullopt;
        size = got;
    }
    return std::nullopt;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Data as users read it in a detail, bounded, without control characters.
std::string Shown(DWORD type, const std::string& data) {
    if (IsText(type)) {
        std::string shown(1, '"');
        shown += Printable(TextOf(data));
        return shown += '"';
    }
    if ((type == REG_DWORD && data.size() == 4) || (type == REG_QWORD && data.size() == 8)) {
        std::uint64_t number = 0;
        std::memcpy(&number, data.data(), data.size());  // little-endian, as stored
        return std::to_string(number);
    }
    return std::to_string(data.size()) + (data.size() == 1 ? " byte" : " bytes") + " of data of type " +
           std::to_string(type);
}

// Whether the key is a class's or a type library's (or lies below one): a file it names is where COM
// goes for the component. A library's HELPDIR names its folder, no file.
bool NamesComponentFile(const capture::Key& key) {
    if (IsClassKey(key)) return true;
    const auto name = key.path.find_last_of(L'\\');
    const wchar_t* last = key.path.c_str() + (name == std::wstring::npos ? 0 : name + 1);
    return IsBelow(key, L"TypeLib\\") && _wcsicmp(last, L"HELPDIR") != 0;
}

// A captured value against the machine's.
void Compare(const capture::Value& captured, const RegValue& found, Finding& finding) {
    finding.state = State::There;
    if (IsText(captured.type) && IsText(found.type)) {
        const std::string expected = win32::Narrow(TextOf(captured.data));
        const std::string here = win32::Narrow(TextOf(found.data));
        if (IsAbsolutePath(Unwrapped(expected))) {
            if (SameFile(expected, here)) return;
            const std::string other = Unwrapped(here);
            if (!other.empty() && NamesComponentFile(*finding.key)) {
                finding.state = State::Elsewhere;
                finding.here = other;
                return;
            }
        } else if (TextOf(captured.data) == TextOf(found.data)) {
            return;
        }
    } else if (captured.type == found.type && captured.data == found.data) {
        return;
    }
    finding.state = State::Different;
    finding.here = Shown(found.type, found.data);
    finding.expected = Shown(captured.type, captured.data);
}

// Each captured value of the key, or the key itself when it is an empty leaf, as this machine has it.
void Judge(const capture::Key& key, REGSAM view, UserClassesTops& userTops, std::vector<Finding>& findings) {
    const Located located = Locate(key, view, userTops);
    const auto finding = [&](const capture::Value* value) {
        Finding made;
        made.key = &key;
        made.value = value;
        made.hive = located.hive;
        return made;
    };
    if (key.values.empty() && !key.hasSubkeys) {
        Finding made = finding(nullptr);
        made.state = located.key ? State::There : State::Missing;
        findings.push_back(std::move(made));
    }
    for (const capture::Value& value : key.values) {
        Finding made = finding(&value);
        const auto found = located.key ? ReadValue(located.key.get(), value.name) : std::nullopt;
        if (found) Compare(value, *found, made);
        findings.push_back(std::move(made));
    }
}

bool Any(const std::vector<Finding>& findings, State state) {
    return std::any_of(findings.begin(), findings.end(), [state](const Finding& f) { return f.state == state; });
}

bool All(const std::vector<Finding>& findings, State state) {
    return std::all_of(findings.begin(), findings.end(), [state](const Finding& f) { return f.state == state; });
}

// Sentences joined by a space, empty ones left out.
std::string Joined(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) return first + second;
    return first + " " + second;
}

}  // namespace

CheckResult CheckAgainstMachine(const capture::Capture& capture) {
    const REGSAM view = ViewOf(capture.machine);
    std::vector<Finding> classes;
    std::vector<Finding> outside;
    UserClassesTops userTops(view);
    for (const capture::Key& key : capture.keys) {
        Judge(key, view, userTops, key.root == Root::Classes ? classes : outside);
    }
    const std::string besides = OutsideDetail(outside);

    if (classes.empty()) {
        // COM looks nothing up outside the classes, so there is no class to find elsewhere: what it
        // wrote outside them is all there is to judge (nothing written at all is there trivially).
        if (outside.empty()) return {Verdict::RegisteredHere, "It registers nothing."};
        const Verdict verdict = All(outside, State::There)     ? Verdict::RegisteredHere
                                : All(outside, State::Missing) ? Verdict::NotRegistered
                                                               : Verdict::PartlyRegistered;
        const std::string missing = verdict == Verdict::PartlyRegistered ? PartlyDetail(outside) : "";
        return {verdict, Joined(Joined("It registers nothing in the classes.", besides), missing)};
    }
    if (Any(classes, State::Elsewhere)) {
        return {Verdict::RegisteredElsewhere, Joined(ElsewhereDetail(capture, classes), besides), OtherFiles(classes)};
    }
    if (All(classes, State::Missing)) return {Verdict::NotRegistered, Joined(NotRegisteredDetail(classes.size()), besides)};
    if (!All(classes, State::There)) return {Verdict::PartlyRegistered, Joined(PartlyDetail(classes), besides)};
    return {Verdict::RegisteredHere, Joined(HereDetail(capture.machine, classes), besides)};
}

}  // namespace check
