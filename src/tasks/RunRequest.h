// What a run is asked to do, however it was asked: the window's controls, the command line, a restart.
#pragma once

#include <string>
#include <vector>

#include "registration/InstallCall.h"

namespace velquist {

struct RunRequest {
    enum class Mode { SingleFile, Directory };
    // What is done with each component: its entry point called (registerFlag says which), its
    // registration checked against the machine, its classes made as a client would (Test), or its
    // registration written to a .reg file that registers or removes it, or to a manifest that makes its
    // classes with nothing registered; or the machine's own registrations looked at for broken ones (Scan)
    // and those removed after a backup (Clean); or the registry put back as an undo file says (PutBack).
    enum class Task { Change, Check, Test, Export, Removal, Manifest, Scan, Clean, PutBack };  // the table's order
    Mode mode = Mode::SingleFile;
    std::string path;         // the file, or the folder
    bool subfolders = false;  // directory mode: include every folder below it
    bool registerFlag = true; // DllRegisterServer, else DllUnregisterServer
    bool perUser = false;     // for the current user only (an export: keys for the current user)
    Task task = Task::Change;
    // Export, Removal, Manifest and Clean (its backup): the file written, "" to ask for one; PutBack:
    // the undo file read.
    std::string target = {};
    // Check, Test, Export, Removal and Manifest of a folder: one component after another rather than
    // side by side (the lines are the same either way).
    bool oneAtATime = false;
    // Unregister also a copy whose classes are registered for another file (its DllUnregisterServer then
    // deletes that file's registration); off, such a copy is left registered with a failed line.
    bool force = false;
    // A register or unregister run's DllInstall: with DllRegisterServer / DllUnregisterServer, or alone.
    registration::InstallCall install = {};
    // A register or unregister run also registers or unregisters type library files (.tlb, .olb, and
    // program files that hold a type library but are no component).
    bool typeLibraries = false;
    friend bool operator==(const RunRequest&, const RunRequest&) = default;
};

// The parameters that start the program again on this request: /u for an unregister request, /r for
// a directory with its sub-directories, /user, /force, /n and /i[:CMDLINE], /check, /test, /export:FILE, /removal:FILE or /manifest:FILE
// (the file in full), /run as asked, and the path in full (quoted), so that the new instance, started in another
// folder perhaps, names the same file.
std::string RelaunchParameters(const RunRequest& request, bool run);

}  // namespace velquist
