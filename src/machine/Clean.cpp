// What a clean removes, its backup, and the removal.
#include "machine/Clean.h"

#include <map>
#include <tuple>

#include "inspect/RegistryTree.h"
#include "results/BackupFile.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace machine {
namespace {

std::wstring Upper(std::wstring text) {
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

const ClassesRoot* RootOf(const std::vector<ClassesRoot>& roots, const Place& place) {
    for (const ClassesRoot& root : roots) {
        if (root.place == place) return &root;
    }
    return nullptr;
}

bool KeyExists(HKEY hive, const std::wstring& path, REGSAM view) {
    HKEY raw = nullptr;
    const bool exists = ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, &raw) == ERROR_SUCCESS;
    const win32::unique_hkey key(raw);
    return exists;
}

DWORD SubkeyCount(HKEY hive, const std::wstring& path, REGSAM view) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, &raw) != ERROR_SUCCESS) return 0;
    const win32::unique_hkey key(raw);
    DWORD count = 0;
    ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
    return count;
}

// The type library removals: platform keys, or whole versions when all their platforms go, or whole
// libraries when all their versions go.
void PlanTypeLibs(const std::vector<ClassesRoot>& roots, const Registrations& in, const Findings& findings,
                  std::vector<Removal>& out) {
    using VersionKey = std::tuple<Place, std::wstring, std::wstring>;  // place, libid, version (upper case)
    std::map<VersionKey, std::size_t> platforms;
    for (const TypeLibEntry& entry : in.typeLibs) {
        ++platforms[{entry.place, Upper(win32::Wide(entry.libid)), Upper(win32::Wide(entry.version))}];
    }
    std::map<VersionKey, std::vector<const Removable*>> missing;
    for (const Removable& removable : findings.typeLibs) {
        const TypeLibEntry& entry = in.typeLibs[removable.index];
        missing[{entry.place, Upper(win32::Wide(entry.libid)), Upper(win32::Wide(entry.version))}].push_back(&removable);
    }
    struct Library {
        std::vector<Removal> versions;  // whole versions to remove
        std::size_t partial = 0;        // versions that keep some platform
    };
    std::map<std::pair<Place, std::wstring>, Library> libraries;
    for (const auto& [key, removables] : missing) {
        const TypeLibEntry& first = in.typeLibs[removables.front()->index];
        const ClassesRoot* root = RootOf(roots, first.place);
        if (root == nullptr) continue;
        const std::wstring library = root->path + L"\\TypeLib\\" + win32::Wide(first.libid);
        Library& whole = libraries[{first.place, library}];
        if (removables.size() < platforms[key]) {
            ++whole.partial;
            for (const Removable* removable : removables) {
                const TypeLibEntry& entry = in.typeLibs[removable->index];
                out.push_back({Removal::Kind::TypeLib, root->hive, root->view,
                               library + L"\\" + win32::Wide(entry.version) + L"\\" + win32::Wide(entry.lcid) + L"\\" +
                                   win32::Wide(entry.platform),
                               entry.place, removable->file, entry.libid + " " + entry.version});
            }
        } else {
            whole.versions.push_back({Removal::Kind::TypeLib, root->hive, root->view,
                                      library + L"\\" + win32::Wide(first.version), first.place,
                                      removables.front()->file, first.libid + " " + first.version});
        }
    }
    for (auto& [key, library] : libraries) {
        if (library.versions.empty()) continue;
        const Removal& any = library.versions.front();
        // The library key goes too when nothing else is left under it.
        if (library.partial == 0 && SubkeyCount(any.hive, key.second, any.view) == library.versions.size()) {
            Removal whole = any;
            whole.path = key.second;
            whole.name = any.name.substr(0, any.name.find(' '));
            out.push_back(std::move(whole));
        } else {
            for (Removal& version : library.versions) out.push_back(std::move(version));
        }
    }
}

// Deletes the key and everything below it, each key opened by its full path in the view: a subkey
// opened relative to a handle without the view's flag can land in the other view (a 32-bit process
// would then delete the 32-bit view's key of the same name).
LONG DeleteTree(HKEY hive, const std::wstring& path, REGSAM view) {
    HKEY raw = nullptr;
    LONG error = ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, &raw);
    if (error != ERROR_SUCCESS) return error;
    std::vector<std::wstring> children;
    {
        const win32::unique_hkey key(raw);
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(std::size(name));
            if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            children.emplace_back(name, length);
        }
    }
    for (const std::wstring& child : children) {
        error = DeleteTree(hive, path + L"\\" + child, view);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
    }
    return ::RegDeleteKeyExW(hive, path.c_str(), view, 0);
}

std::wstring HiveName(HKEY hive) { return hive == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"HKEY_LOCAL_MACHINE"; }

// Keys of the classes' root that hold other keys: never removed whole, whatever they seem to name.
bool IsContainer(const std::string& name) {
    static const char* const kContainers[] = {"*",         "AllFilesystemObjects", "AppID",       "CLSID",
                                              "Component Categories", "Directory", "DirectShow", "Drive",
                                              "FileType",  "Folder",      "Interface",   "Media Type",
                                              "MediaFoundation", "MIME",  "Record",      "SystemFileAssociations",
                                              "TypeLib",   "Unknown",     "Wow6432Node"};
    for (const char* container : kContainers) {
        if (::lstrcmpiA(name.c_str(), container) == 0) return true;
    }
    return name.empty();
}

}  // namespace

std::vector<Removal> PlanClean(const std::vector<ClassesRoot>& roots, const Registrations& registrations,
                               const Findings& findings) {
    std::vector<Removal> out;
    for (const Removable& removable : findings.classes) {
        const ClassEntry& entry = registrations.classes[removable.index];
        if (const ClassesRoot* root = RootOf(roots, entry.place)) {
            out.push_back({Removal::Kind::Class, root->hive, root->view, root->path + L"\\CLSID\\" + win32::Wide(entry.clsid),
                           entry.place, removable.file, entry.clsid});
        }
    }
    for (const Removable& removable : findings.progIds) {
        const ProgIdEntry& entry = registrations.progIds[removable.index];
        std::string upper = entry.name;
        ::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
        // A ProgID that is also a file type (an extension names it, or it has verbs) is still used.
        if (IsContainer(entry.name) || registrations.fileTypes.count(upper) != 0) continue;
        if (const ClassesRoot* root = RootOf(roots, entry.place)) {
            if (KeyExists(root->hive, root->path + L"\\" + win32::Wide(entry.name) + L"\\shell", root->view)) continue;
            out.push_back({Removal::Kind::ProgId, root->hive, root->view, root->path + L"\\" + win32::Wide(entry.name),
                           entry.place, removable.file, entry.name});
        }
    }
    PlanTypeLibs(roots, registrations, findings, out);
    return out;
}

LONG BackupText(const std::vector<Removal>& removals, const std::wstring& date, std::wstring& text) {
    std::vector<velquist::SavedTree> trees;
    for (const Removal& removal : removals) {
        velquist::SavedTree tree{HiveName(removal.hive) + L"\\" + removal.path, {}};
        const LONG error = registry::ReadTree(removal.hive, removal.path, removal.view, tree.keys);
        if (error == ERROR_FILE_NOT_FOUND) continue;
        if (error != ERROR_SUCCESS) return error;
        trees.push_back(std::move(tree));
    }
    const std::wstring about = L"Broken registrations that Velquist removed on " + date +
                               L". Importing this file puts them back as they were.";
    return velquist::BackupText(trees, about, text) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

std::vector<LONG> Remove(const std::vector<Removal>& removals) {
    std::vector<LONG> results;
    for (const Removal& removal : removals) {
        const LONG error = DeleteTree(removal.hive, removal.path, removal.view);
        results.push_back(error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error);
    }
    return results;
}

}  // namespace machine
