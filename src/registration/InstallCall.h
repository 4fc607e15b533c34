// What a run asks of DllInstall: whether it is called, with or without DllRegisterServer /
// DllUnregisterServer, and the command line it is given.
#pragma once

#include <string>

namespace registration {

struct InstallCall {
    bool on = false;     // DllInstall is called: after DllRegisterServer, before DllUnregisterServer
    bool alone = false;  // ... instead of them: a file is a component when it exports DllInstall
    // Its command line: NULL unless given; a given one may be empty.
    bool hasCommandLine = false;
    std::string commandLine;
    // DllInstall called alone: what the run's lines and closing line count.
    bool Alone() const { return on && alone; }
    friend bool operator==(const InstallCall&, const InstallCall&) = default;
};

}  // namespace registration
