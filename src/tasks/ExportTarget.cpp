// Where an export goes: settled before the run touches the list, once the inputs are known to hold a
// component (or, with type libraries included, a type library).
#include "tasks/InspectRun.h"

#include <windows.h>

#include "inspect/ManifestWriter.h"
#include "runner/TypeLibrary.h"
#include "win32/Paths.h"

namespace velquist {
namespace {

using Task = RunRequest::Task;

// Whether the name is that of a type library file (.tlb, .olb).
bool NamedLikeTypeLibrary(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return false;
    const std::string extension = path.substr(dot);
    return _stricmp(extension.c_str(), ".tlb") == 0 || _stricmp(extension.c_str(), ".olb") == 0;
}

// Whether the folder holds a component, by the header check alone (nothing loaded, nothing counted),
// or a type library file by its name when the request includes them.
bool FolderHoldsComponent(const RunRequest& request, registration::Session& session) {
    if (!win32::IsFolder(request.path)) return false;
    Module1::WalkProgress look;
    bool found = false;
    Module1::WalkFolder(request.path, request.subfolders, look, [&](const std::string& file) {
        found = session.HeadersSayComponent(file) || (request.typeLibraries && NamedLikeTypeLibrary(file));
        look.stopped = found;
    });
    return found;
}

}  // namespace

bool ChooseExportTarget(const RunRequest& request, registration::Session& session,
                        const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary,
                        std::string& target) {
    target.clear();
    if (request.mode == RunRequest::Mode::SingleFile) {
        runner::TypeLibraryFacts facts;
        if (!session.HeadersSayComponent(request.path) &&
            !(request.typeLibraries && session.ProbeTypeLibrary(request.path, facts).Succeeded())) {
            TellNotComponent(showError, summary);
            return false;
        }
    } else if (!FolderHoldsComponent(request, session)) {
        return true;
    }
    if (!request.target.empty()) {
        target = request.target;
    } else {
        const std::string folder = request.mode == RunRequest::Mode::SingleFile ? win32::FolderOf(win32::FullPathOr(request.path))
                                                                               : win32::FullPathOr(request.path);
        target = run.ChooseExportFile(request.task, request.task == Task::Manifest ? check::DefaultManifestPath(folder) : "");
    }
    if (target.empty()) {
        summary.end = RunSummary::End::Cancelled;
        return false;
    }
    // An assembly's name is its file's name: Windows takes no other characters in it.
    const std::string name = check::AssemblyNameOf(target);
    if (request.task == Task::Manifest && !check::ValidAssemblyName(name)) {
        showError("The manifest cannot be called " + name + ".manifest: an assembly's name, the file's name without "
                  ".manifest, can hold only letters, digits, '.', '-' and '_'. Nothing was written.");
        summary.end = RunSummary::End::Refused;
        target.clear();
        return false;
    }
    return true;
}

}  // namespace velquist
