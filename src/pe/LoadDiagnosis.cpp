// LoadDiagnosis: a breadth-first walk over the import tables of a component and the dependencies it finds.
#include "pe/LoadDiagnosis.h"

#include "win32/Paths.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "pe/DllSearch.h"
#include "pe/MappedFile.h"
#include "pe/PeExports.h"
#include "pe/PeImports.h"
#include "win32/Handles.h"

namespace runner {
namespace {

// Bounds on the walk, so that a crafted component cannot hold up the reply: the files whose imports are
// read, the distinct names searched for, and the time (the program waits kWaitLimitMs for the whole reply).
constexpr std::size_t kMaxFiles = 64;
constexpr std::size_t kMaxSearches = 1024;
constexpr ULONGLONG kTimeLimitMs = 2000;

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
};
using NameSet = std::set<std::string, NoCaseLess>;

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// API sets name contracts that the loader maps to its own libraries; there is no file to look for.
bool IsApiSet(const std::string& name) {
    return _strnicmp(name.c_str(), "api-ms-", 7) == 0 || _strnicmp(name.c_str(), "ext-ms-", 7) == 0;
}

// The file name the loader looks for: a name without extension gets ".dll"; a trailing dot means none.
std::string SearchName(const std::string& imported) {
    if (imported.back() == '.') return imported.substr(0, imported.size() - 1);
    if (imported.find('.') == std::string::npos) return imported + ".dll";
    return imported;
}

using win32::FolderOf;
using win32::ModulePath;

// The folders the runner's load searches, in order: the component's own folder for its dependencies,
// then the folders every load of the runner searches (RestrictLibrarySearch).
std::vector<std::string> SearchFolders(const std::string& componentFolder) {
    std::vector<std::string> folders{componentFolder};
    for (std::string& folder : ProcessLibraryFolders()) {
        if (_stricmp(folder.c_str(), componentFolder.c_str()) != 0) folders.push_back(std::move(folder));
    }
    return folders;
}

// The names listed under the KnownDLLs key, which the loader takes from its own sections, never by a search.
NameSet KnownDlls() {
    NameSet known;
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                        KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return known;
    }
    const win32::unique_hkey key(opened);
    for (DWORD i = 0; i < 1024; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        char data[MAX_PATH + 1] = {};
        DWORD dataSize = MAX_PATH;
        DWORD type = 0;
        const LONG status =
            ::RegEnumValueA(key.get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        // DllDirectory and DllDirectory32 name the folders, not libraries.
        if (status != ERROR_SUCCESS || type != REG_SZ || _strnicmp(name, "DllDirectory", 12) == 0) continue;
        known.insert(std::string(data, ::strnlen(data, dataSize)));
    }
    return known;
}

class Walk {
public:
    Walk(const std::string& fullPath, bool functionFirst)
        : component_(fullPath), functionFirst_(functionFirst), start_(::GetTickCount64()) {}

    LoadDetail Run() {
        std::deque<Node> queue{{component_, 0}};
        NameSet visited{component_};
        for (std::size_t files = 0; !queue.empty() && files < kMaxFiles && !Late(); ++files) {
            const Node node = std::move(queue.front());
            queue.pop_front();
            const registration::MappedFile file(node.path);
            const peimports::ImportList imports = peimports::ReadImports(file.Data(), file.Size());
            const bool read =
                imports.status == peimports::ImportRead::Read || imports.status == peimports::ImportRead::Capped;
            if (!read || imports.machine != kOwnMachine) continue;
            const std::string neededBy = FileNameOf(node.path);
            for (const peimports::ImportedLibrary& library : imports.libraries) {
                if (library.name.empty() || IsApiSet(library.name)) continue;
                const Found* found = Resolve(library.name);
                if (found == nullptr || Late()) break;
                if (!found->present) {
                    if (!missingLibrary_) missingLibrary_ = LoadDetail{library.name, {}, neededBy};
                    if (!functionFirst_) return *missingLibrary_;
                    continue;
                }
                if (!missingFunction_) {
                    if (auto absent = FirstAbsent(found->path, library)) {
                        missingFunction_ = LoadDetail{library.name, *absent, neededBy};
                        if (functionFirst_) return *missingFunction_;
                    }
                }
                if (found->follow && node.level + 1 < kDiagnosisLevels && visited.insert(found->path).second) {
                    queue.push_back({found->path, node.level + 1});
                }
            }
        }
        // The kind asked for first was not found (a missing library would have ended the walk already).
        if (missingFunction_) return *missingFunction_;
        return missingLibrary_ ? *missingLibrary_ : LoadDetail{};
    }

private:
    struct Node {
        std::string path;
        int level = 0;  // 0: the component
    };
    struct Found {
        bool present = false;
        std::string path;     // the file whose exports answer for the library ("" if unknown)
        bool follow = false;  // its own imports are the walk's to check (not the system's own libraries)
    };

    bool Late() const { return ::GetTickCount64() - start_ > kTimeLimitMs; }

    // Where the load finds an imported library; nullptr once kMaxSearches names were looked for or the
    // time is up, which ends the walk.
    const Found* Resolve(const std::string& imported) {
        const std::string name = SearchName(imported);
        if (const auto cached = searched_.find(name); cached != searched_.end()) return &cached->second;
        if (searched_.size() >= kMaxSearches) return nullptr;
        if (folders_.empty()) {  // only now: a file that cannot be read costs no more than the attempt
            folders_ = SearchFolders(FolderOf(component_));
            system_ = win32::SystemFolder();
            known_ = KnownDlls();
        }
        Found found;
        if (HMODULE loaded = ::GetModuleHandleA(name.c_str())) {
            found.present = true;
            found.path = ModulePath(loaded);
        } else if (known_.count(name) != 0) {
            found.present = true;
            found.path = system_ + "\\" + name;
        } else {
            for (const std::string& folder : folders_) {
                if (Late()) return nullptr;  // a PATH folder on a server that does not answer, say
                const std::string candidate = win32::JoinPath(folder, name);
                const DWORD attributes = ::GetFileAttributesA(candidate.c_str());
                if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
                // A library of the other bitness satisfies nothing: Wine's loader searches on past it
                // (Windows fails with ERROR_BAD_EXE_FORMAT instead, which is not looked into).
                const registration::MappedFile file(candidate);
                const std::uint16_t machine = peexports::CheckExport(file.Data(), file.Size(), {}).machine;
                if (machine != 0 && machine != kOwnMachine) continue;
                found = Found{true, candidate, true};
                break;
            }
        }
        return &searched_.emplace(name, std::move(found)).first->second;
    }

    // The first function imported from `library` that the file at `path` does not export; nothing when it
    // exports them all or its exports cannot be read (a damaged file is not a missing function).
    static std::optional<std::string> FirstAbsent(const std::string& path, const peimports::ImportedLibrary& library) {
        if (path.empty() || library.functions.empty()) return std::nullopt;
        const registration::MappedFile file(path);
        for (const peimports::ImportedFunction& function : library.functions) {
            const peexports::ExportCheck check =
                function.byOrdinal ? peexports::LookUpOrdinal(file.Data(), file.Size(), function.ordinal)
                                   : peexports::LookUpName(file.Data(), file.Size(), function.name);
            if (check == peexports::ExportCheck::NameAbsent || check == peexports::ExportCheck::NoExportDirectory) {
                return function.name;
            }
        }
        return std::nullopt;
    }

    const std::string component_;
    const bool functionFirst_;
    const ULONGLONG start_;
    std::vector<std::string> folders_;  // these three are filled at the first library searched for
    std::string system_;
    NameSet known_;
    std::map<std::string, Found, NoCaseLess> searched_;
    std::optional<LoadDetail> missingLibrary_;
    std::optional<LoadDetail> missingFunction_;
};

}  // namespace

LoadDetail FindUnmetImport(const std::string& fullPath, DWORD loadError) noexcept {
    try {
        return Walk(fullPath, loadError == ERROR_PROC_NOT_FOUND).Run();
    } catch (...) {  // allocation: the code alone then speaks
        return {};
    }
}

}  // namespace runner
