// Module1: the folder walk of directory mode, sub-folders first, then the folder's own files.
#include "folders/Module1.h"

#include <windows.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "folders/CaptureFile.h"
#include "folders/RegisterFile.h"
#include "folders/SideBySide.h"
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

// The walk's stop asked for, nothing counted: a walk ahead of the one that counts.
class StopOnly final : public WalkProgress {
public:
    explicit StopOnly(WalkProgress& walk) : walk_(walk) {}
    bool StopRequested() override { return walk_.StopRequested(); }

private:
    WalkProgress& walk_;
};

// Where captures ahead were stopped: the file whose capture was (none when the walk stopped between
// files), its capture's outcome, and how many files the walk had reached.
struct StoppedAhead {
    std::string path;
    modRegister::Result result;
    unsigned long long reached = 0;
};

// Every component's capture, three side by side, before the first call. A capture only reads (into a
// scratch key of its own, the keys it reaches around the redirection put back) and sees none of the
// machine's registrations, so it holds what the component's call will write whether it is made
// before the calls of the files ahead of it or after them; made together, the keys the captures
// reach around the redirection are read once for all of them, not again after each call changed them.
void CaptureAhead(registration::Session& session, const std::string& path, bool includeSubfolders,
                  WalkProgress& walk, CapturesAhead& ahead, StoppedAhead& stopped) {
    StopOnly look(walk);
    SideBySide lanes(session, look, true);
    unsigned long long reached = 0;
    WalkFolder(path, includeSubfolders, look, [&](const std::string& file) {
        lanes.Add(file, [&, file](registration::Session& lane) -> SideBySide::Then {
            auto got = std::make_shared<FileCapture>(CaptureFile(lane, file));
            return [&, file, got] {
                ++reached;
                // What failed beside another capture is tried once more alone (see SideBySide::Alone).
                if (got->verdict == FileCapture::Verdict::Failed && !got->stopped && lanes.Together()) {
                    lanes.Alone([&](registration::Session& alone) { *got = CaptureFile(alone, file); });
                }
                if (got->stopped) {
                    look.stopped = true;
                    stopped = {file, got->result, reached};
                    return;
                }
                // A file whose probe failed is probed again before its call, and told then.
                if (got->result.capture) ahead.emplace(file, CapturedAhead{got->result, std::move(got->captured)});
            };
        });
    });
    lanes.Finish();
    if (stopped.path.empty()) stopped.reached = reached;
    if (look.stopped) walk.stopped = true;
}

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
    CapturesAhead ahead;
    ChangeOptions calls = options;
    if (options.NeedsCapture(registerFlag) && options.ahead == nullptr) {
        StoppedAhead stopped;
        CaptureAhead(session, path, includeSubfolders, walk, ahead, stopped);
        if (walk.stopped) {  // nothing was called; a capture that was stopped is told as its call would be
            walk.checked = stopped.reached;
            if (!stopped.path.empty()) velquist::AddResultLine(list, StoppedLine(stopped.path, stopped.result, registerFlag));
            return;
        }
        calls.ahead = &ahead;
    }
    WalkFolder(path, includeSubfolders, walk, [&](const std::string& file) {
        const FileRegistration done = RegisterFile(session, file, registerFlag, calls);
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
