// Module1: the folder walk of directory mode, sub-folders first, then the folder's own files.
#include "folders/Module1.h"

#include <windows.h>

#include <set>
#include <utility>
#include <vector>

#include "folders/RegisterFile.h"
#include "win32/Handles.h"
#include "win32/Paths.h"

namespace Module1 {

namespace {

// A folder as the file system knows it, whatever path or link leads there.
struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    auto operator<=>(const FolderIdentity&) const = default;
};

// The identity of the folder path leads to, following links; false when it cannot be read (the folder
// cannot be opened, or its file system gives no index, as some network redirectors do).
bool IdentifyFolder(const std::string& path, FolderIdentity& identity) {
    // No access rights are needed to read the identity; backup semantics lets CreateFile open a folder.
    win32::unique_handle folder(::CreateFileA(path.c_str(), 0,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!win32::IsValid(folder)) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info)) return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return info.nFileIndexHigh != 0 || info.nFileIndexLow != 0;
}

// One walk: the folders already entered, so that a link leading back into the tree (or to a folder
// seen before) neither recurses for ever nor registers a component twice.
class FolderWalk {
public:
    FolderWalk(WalkProgress& progress, const std::function<void(const std::string&)>& visit)
        : progress_(progress), visit_(visit) {}

    void Walk(const std::string& path, bool includeSubfolders, bool isLink) {
        FolderIdentity identity;
        if (IdentifyFolder(path, identity)) {
            if (!visited_.insert(identity).second) return;
        } else if (isLink) {
            // A link that cannot be told apart from the folders already walked is not followed.
            // Plain folders are: they form a tree, and the path limit bounds its depth anyway.
            return;
        }

        std::vector<std::pair<std::string, bool>> subfolders;  // path, is a link
        std::vector<std::string> files;
        {
            WIN32_FIND_DATAA data;
            win32::unique_hfind find(::FindFirstFileExA(win32::JoinPath(path, "*").c_str(), FindExInfoBasic, &data,
                                                        FindExSearchNameMatch, nullptr,
                                                        FIND_FIRST_EX_LARGE_FETCH));
            if (!win32::IsValid(find)) return;
            do {
                const std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    subfolders.emplace_back(win32::JoinPath(path, name),
                                            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
                } else {
                    files.push_back(win32::JoinPath(path, name));
                }
            } while (::FindNextFileA(find.get(), &data));
        }

        if (includeSubfolders) {
            for (const auto& [subfolder, subfolderIsLink] : subfolders) {
                if (progress_.stopped) return;
                Walk(subfolder, true, subfolderIsLink);
            }
        }
        for (const std::string& file : files) {
            if (progress_.stopped || (progress_.stopped = progress_.StopRequested())) return;
            ++progress_.checked;
            progress_.FileChecked();
            visit_(file);
        }
    }

private:
    std::set<FolderIdentity> visited_;
    WalkProgress& progress_;
    const std::function<void(const std::string&)>& visit_;
};

}  // namespace

void WalkFolder(const std::string& path, bool includeSubfolders, WalkProgress& progress,
                const std::function<void(const std::string& file)>& visit) {
    if (path.empty()) return;
    FolderWalk(progress, visit).Walk(win32::FullPathOr(path), includeSubfolders, false);
}

void RegisterFolder(registration::Session& session, const std::string& path, bool includeSubfolders,
                    bool registerFlag, velquist::ResultList& list, WalkProgress* progress, const ChangeOptions& options) {
    WalkProgress none;
    WalkProgress& walk = progress != nullptr ? *progress : none;
    WalkFolder(path, includeSubfolders, walk, [&](const std::string& file) {
        const FileRegistration done = RegisterFile(session, file, registerFlag, options);
        if (done.stopped) walk.stopped = true;
        if (done.accessDenied) walk.accessDenied = true;
        // No component: no line. A component that could not be loaded: a failure that says why.
        if (done.verdict != FileRegistration::Verdict::NotComponent) velquist::AddResultLine(list, done.line);
    });
}

void RegisterFolder(const std::string& path, bool includeSubfolders, bool registerFlag,
                    velquist::ResultList& list, WalkProgress* progress) {
    registration::Session session;
    RegisterFolder(session, path, includeSubfolders, registerFlag, list, progress);
}

}  // namespace Module1
