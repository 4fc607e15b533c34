// The detail texts of the registration check: what points elsewhere, what is missing or different, counts.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "inspect/CheckFiles.h"
#include "inspect/CheckFindings.h"
#include "inspect/CheckRegistration.h"
#include "pe/PeExports.h"
#include "win32/Text.h"

namespace check {
namespace {

using capture::Root;

constexpr std::size_t kListed = 5;  // items named in one sentence; the rest are counted
constexpr std::size_t kShownLength = 80;  // of a value's text in a detail

// "CLSID\{...}" or "TypeLib\{...}": the first two parts of a class's or type library's key.
std::wstring OwnerOf(const std::wstring& path) {
    const auto first = path.find(L'\\');
    return path.substr(0, path.find(L'\\', first + 1));
}

// The captured default value of a key under the classes, as text ("" when there is none).
std::wstring DefaultText(const capture::Key& key) {
    for (const capture::Value& value : key.values) {
        if (!value.name.empty() || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) continue;
        return TextOf(value.data);
    }
    return {};
}

// The default text of the first captured key under the classes whose path matches.
std::wstring DefaultOf(const capture::Capture& capture, const std::function<bool(const std::wstring&)>& matches) {
    for (const capture::Key& key : capture.keys) {
        if (key.root != Root::Classes || !matches(key.path)) continue;
        if (std::wstring text = DefaultText(key); !text.empty()) return text;
    }
    return {};
}

// What users know a class by (its ProgID, else its version-independent one) or a type library by (the
// name on its version key), from what the component wrote.
std::wstring NameOf(const capture::Capture& capture, const std::wstring& owner, bool isClass) {
    const std::wstring prefix = owner + L"\\";
    if (!isClass) {
        return DefaultOf(capture, [&](const std::wstring& path) {
            return path.size() > prefix.size() && SameName(std::wstring_view(path).substr(0, prefix.size()), prefix) &&
                   path.find(L'\\', prefix.size()) == std::wstring::npos;
        });
    }
    for (const wchar_t* child : {L"ProgID", L"VersionIndependentProgID"}) {
        std::wstring name = DefaultOf(capture, [&](const std::wstring& path) { return SameName(path, prefix + child); });
        if (!name.empty()) return name;
    }
    return {};
}

std::string HiveText(Hive hive) {
    return hive == Hive::UserClasses ? "the current user's classes" : "the machine's classes";
}

// "CLSID\{...}\InprocServer32 value ThreadingModel", "CLSID\{...} default value", "key CLSID\{...}\Control".
std::string ItemName(const Finding& finding) {
    const std::string path = win32::Narrow(finding.key->path);
    if (finding.value == nullptr) return "key " + path;
    if (finding.value->name.empty()) return path + " default value";
    return path + " value " + win32::Narrow(finding.value->name);
}

// "Label: a; b; c and 4 more." over the findings in that state; "" when there are none.
std::string Listed(const char* label, const std::vector<Finding>& findings, State state) {
    std::string text;
    std::size_t count = 0;
    for (const Finding& finding : findings) {
        if (finding.state != state || ++count > kListed) continue;
        text += (count == 1 ? std::string(label) + ": " : "; ") + ItemName(finding);
        if (state == State::Different) text += " (here " + finding.here + ", expected " + finding.expected + ")";
    }
    if (count == 0) return {};
    if (count > kListed) text += " and " + std::to_string(count - kListed) + " more";
    return text + ".";
}

}  // namespace

std::wstring TextOf(const std::string& bytes) {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::string Printable(std::wstring text) {
    if (text.size() > kShownLength) text = text.substr(0, kShownLength) + L"...";
    std::replace_if(text.begin(), text.end(), [](wchar_t c) { return c < L' '; }, L' ');
    return win32::Narrow(text);
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool IsBelow(const capture::Key& key, std::wstring_view prefix) {
    return key.root == capture::Root::Classes && key.path.size() > prefix.size() &&
           SameName(std::wstring_view(key.path).substr(0, prefix.size()), prefix);
}

std::vector<std::string> OtherFiles(const std::vector<Finding>& classes) {
    std::vector<std::string> files;
    for (const bool ofClasses : {true, false}) {
        for (const Finding& finding : classes) {
            if (finding.state != State::Elsewhere || IsClassKey(*finding.key) != ofClasses) continue;
            const bool known = std::any_of(files.begin(), files.end(),
                                           [&](const std::string& file) { return SameFile(file, finding.here); });
            if (!known) files.push_back(finding.here);
        }
        if (!files.empty()) break;
    }
    return files;
}

std::string ElsewhereDetail(const capture::Capture& capture, const std::vector<Finding>& classes) {
    struct Pointer {
        std::wstring owner;
        std::string path;
        Hive hive;
    };
    std::vector<Pointer> pointers;
    for (const Finding& finding : classes) {
        if (finding.state != State::Elsewhere) continue;
        Pointer pointer{OwnerOf(finding.key->path), finding.here, finding.hive};
        bool known = false;
        for (const Pointer& seen : pointers) {
            known = known || (SameName(seen.owner, pointer.owner) && seen.path == pointer.path && seen.hive == pointer.hive);
        }
        if (!known) pointers.push_back(std::move(pointer));
    }
    std::string text;
    for (std::size_t i = 0; i < pointers.size() && i < kListed; ++i) {
        const Pointer& pointer = pointers[i];
        const bool isClass = SameName(pointer.owner.substr(0, 6), L"CLSID\\");
        const std::wstring name = NameOf(capture, pointer.owner, isClass);
        if (i > 0) text += ' ';
        text += isClass ? "Class " : "Type library ";
        text += win32::Narrow(pointer.owner.substr(pointer.owner.find(L'\\') + 1));
        if (!name.empty()) text += " (" + Printable(name) + ")";
        text += " points at " + pointer.path + " (" + DescribeFile(pointer.path, capture.machine) + "), in " + HiveText(pointer.hive) + ".";
    }
    if (pointers.size() > kListed) {
        text += " And " + std::to_string(pointers.size() - kListed) + " more classes or type libraries point at other files.";
    }
    return text;
}

std::string PartlyDetail(const std::vector<Finding>& classes) {
    const std::string missing = Listed("Missing", classes, State::Missing);
    const std::string different = Listed("Different", classes, State::Different);
    return missing.empty() || different.empty() ? missing + different : missing + " " + different;
}

std::string NotRegisteredDetail(std::size_t count) {
    if (count == 1) return "The one key or value it registers is not there.";
    return "None of the " + std::to_string(count) + " keys and values it registers is there.";
}

std::string HereDetail(std::uint16_t machine, const std::vector<Finding>& classes) {
    const std::string view = machine == peexports::kMachineI386 ? "32-bit" : "64-bit";
    std::string text = classes.size() == 1 ? "The one key or value it registers is there"
                                           : "All " + std::to_string(classes.size()) + " keys and values it registers are there";
    text += ", in the " + view + " registry view.";
    std::size_t users = 0;
    for (const Finding& finding : classes) users += finding.hive == Hive::UserClasses ? 1 : 0;
    if (users == classes.size()) {
        return text + (users == 1 ? " It is in the current user's classes." : " All of them are in the current user's classes.");
    }
    if (users > 0) return text + " Some of them are in the current user's classes.";
    return text;
}

std::string OutsideDetail(const std::vector<Finding>& outside) {
    if (outside.empty()) return {};
    std::size_t present = 0;
    for (const Finding& finding : outside) present += finding.state == State::There ? 1 : 0;
    if (outside.size() == 1) {
        return present == 1 ? "Outside the classes, its one key or value is present."
                            : "Outside the classes, its one key or value is not present.";
    }
    return "Outside the classes, " + std::to_string(present) + " of " + std::to_string(outside.size()) +
           " keys and values are present.";
}

}  // namespace check
