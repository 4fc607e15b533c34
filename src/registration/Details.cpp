// The detail texts of result lines, from the outcome and codes of a probe or call.
#include "registration/Details.h"

#include <olectl.h>
#include <winerror.h>

#include <cstdio>

#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"
#include "win32/Hex.h"

namespace modRegister {
namespace {

using win32::Hex;

// Codes users meet most, in words of our own: the system has no text for some of them (Wine has
// none for the automation and registry ranges).
const char* OwnText(DWORD code) {
    switch (code) {
        case static_cast<DWORD>(E_ACCESSDENIED): return "Access is denied.";
        case static_cast<DWORD>(TYPE_E_REGISTRYACCESS): return "The type library could not be written to the registry.";
        case static_cast<DWORD>(REGDB_E_WRITEREGDB): return "A key could not be written to the registry.";
        case static_cast<DWORD>(REGDB_E_READREGDB): return "A key could not be read from the registry.";
        case static_cast<DWORD>(SELFREG_E_CLASS): return "Its classes could not be registered.";
        case static_cast<DWORD>(SELFREG_E_TYPELIB): return "Its type library could not be registered.";
        case static_cast<DWORD>(TYPE_E_CANTLOADLIBRARY): return "Its type library could not be loaded.";
        case static_cast<DWORD>(E_FAIL): return "Unspecified error.";
        case static_cast<DWORD>(E_UNEXPECTED): return "Unexpected failure.";
        case static_cast<DWORD>(E_OUTOFMEMORY): return "Not enough memory.";
        case static_cast<DWORD>(E_NOTIMPL): return "Not implemented.";
        case static_cast<DWORD>(CO_E_NOTINITIALIZED): return "COM was not initialised.";
        case static_cast<DWORD>(REGDB_E_CLASSNOTREG): return "Class not registered.";
        case static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE): return "The class factory cannot supply the class.";
        case static_cast<DWORD>(CLASS_E_NOTLICENSED): return "The class is not licensed for use.";
        case static_cast<DWORD>(E_NOINTERFACE): return "No such interface supported.";
        case static_cast<DWORD>(CO_E_DLLNOTFOUND): return "The DLL of the class could not be used.";
        case static_cast<DWORD>(CO_E_ERRORINDLL): return "Error in the DLL.";
        case static_cast<DWORD>(TYPE_E_LIBNOTREGISTERED): return "Library not registered.";
        case ERROR_MOD_NOT_FOUND: return "The specified module could not be found.";
        case ERROR_PROC_NOT_FOUND: return "The specified procedure could not be found.";
        case ERROR_DLL_INIT_FAILED: return "A dynamic link library (DLL) initialization routine failed.";
        case ERROR_BAD_EXE_FORMAT: return "It is not a valid application for this system.";
        default: return nullptr;
    }
}

std::string SystemText(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    const win32::unique_hlocal<char> owned(buffer);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool IsAccessDenied(DWORD code) {
    return code == static_cast<DWORD>(E_ACCESSDENIED) || code == static_cast<DWORD>(TYPE_E_REGISTRYACCESS) ||
           code == static_cast<DWORD>(REGDB_E_WRITEREGDB) || code == ERROR_ACCESS_DENIED;
}

// "access violation, 0xC0000005" for an exception code.
std::string ExceptionText(DWORD code) {
    const char* name = nullptr;
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION: name = "access violation"; break;
        case EXCEPTION_STACK_OVERFLOW: name = "stack overflow"; break;
        case EXCEPTION_ILLEGAL_INSTRUCTION: name = "illegal instruction"; break;
        case EXCEPTION_PRIV_INSTRUCTION: name = "privileged instruction"; break;
        case EXCEPTION_INT_DIVIDE_BY_ZERO: name = "integer division by zero"; break;
        case EXCEPTION_IN_PAGE_ERROR: name = "in-page error"; break;
        case EXCEPTION_DATATYPE_MISALIGNMENT: name = "misaligned data"; break;
        case EXCEPTION_BREAKPOINT: name = "breakpoint"; break;
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: name = "array bounds exceeded"; break;
        case 0xC0000409: name = "stack buffer overrun"; break;
        case 0xC0000374: name = "heap corruption"; break;
        case 0x80000100: name = "called a function one of its libraries lacks"; break;  // Wine's stub
        case 0xC06D007E: name = "a library it loads late was not found"; break;          // delay-load
        case 0xC06D007F: name = "a function it loads late was not found"; break;
        default: break;
    }
    return name != nullptr ? std::string(name) + ", " + Hex(code) : "exception " + Hex(code);
}

std::string MachineName(std::uint16_t machine) {
    switch (machine) {
        case peexports::kMachineI386: return "x86";
        case peexports::kMachineAmd64: return "x64";
        case peexports::kMachineArm64: return "ARM64";
        case 0x01C4: return "ARM";
        case 0x0200: return "Itanium";
        default: return "machine 0x" + Hex(machine).substr(6);
    }
}

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool RunsOn64BitWindows() {
#if defined(_M_X64) || defined(__x86_64__)
    return true;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::string LoadFailedDetail(const std::string& path, const Result& result) {
    const std::string through = result.neededBy.empty() || _stricmp(result.neededBy.c_str(), FileName(path).c_str()) == 0
                                    ? ""
                                    : " (through " + result.neededBy + ")";
    if (!result.missingLibrary.empty() && !result.missingFunction.empty()) {
        return "Needs " + result.missingFunction + " from " + result.missingLibrary + through + ", which " +
               result.missingLibrary + " does not have; a different version of " + result.missingLibrary +
               " is probably needed.";
    }
    if (!result.missingLibrary.empty()) {
        return "Needs " + result.missingLibrary + through +
               ", which was not found (looked in the component's folder, the system folders and PATH).";
    }
    switch (result.code) {
        case ERROR_SXS_CANT_GEN_ACTCTX:
            return "Its side-by-side configuration is incorrect: a runtime its manifest names is not installed.";
        case ERROR_DLL_INIT_FAILED: return "Its initialisation failed (DllMain returned FALSE).";
        case ERROR_MOD_NOT_FOUND:
            return "A library it needs was not found (looked in the component's folder, the system folders and PATH).";
        default: break;
    }
    const std::string text = CodeText(result.code);
    return "Could not be loaded: " + (text.empty() ? std::string() : text + " ") + "(error " +
           std::to_string(result.code) + ").";
}

// "The 64-bit runner (velquist64.exe)": the runner that serves components of this machine.
std::string RunnerName(std::uint16_t machine) {
    return machine == peexports::kMachineAmd64 ? "The 64-bit runner (velquist64.exe)" : "The 32-bit runner (velquist.exe)";
}

std::string RunnerUnavailableDetail(const Result& result) {
    if (result.machine != peexports::kMachineI386 && result.machine != peexports::kMachineAmd64) {
        return "Built for " + MachineName(result.machine) +
               " processors; Velquist registers x86 (32-bit) and x64 (64-bit) components.";
    }
    const bool wide = result.machine == peexports::kMachineAmd64;
    if (wide && !RunsOn64BitWindows()) return "64-bit component: it cannot be registered on 32-bit Windows.";
    const std::string runner = RunnerName(result.machine);
    if (result.runnerExit) {
        // An exception code (a missing import of the program, say) reads best in hex.
        const std::string why = runner::RunnerExitText(result.code);
        const std::string code = (result.code & 0x80000000u) != 0 ? Hex(result.code) : std::to_string(result.code);
        return runner + " ended as it started (exit code " + code + (why.empty() ? "" : ": " + why) + ").";
    }
    if (result.code == ERROR_FILE_NOT_FOUND || result.code == ERROR_PATH_NOT_FOUND) {
        return std::string(wide ? "64-bit component: velquist64.exe" : "32-bit component: velquist.exe") +
               " is needed beside Velquist.";
    }
    if (result.code == ERROR_SUCCESS) return runner + " was busy with another file.";
    const std::string text = CodeText(result.code);
    return runner + " could not be started: " + (text.empty() ? std::string() : text + " ") + "(error " +
           std::to_string(result.code) + ").";
}

}  // namespace

std::string CodeText(DWORD code) {
    if (const char* own = OwnText(code)) return own;
    // A Windows error wrapped in an HRESULT has the system's text of the error itself.
    if (HRESULT_FACILITY(code) == FACILITY_WIN32 && (code & 0x80000000u) != 0) {
        if (const char* own = OwnText(HRESULT_CODE(code))) return own;
        return SystemText(HRESULT_CODE(code));
    }
    return SystemText(code);
}

bool IsAccessDenied(const Result& result) {
    return result.outcome == Outcome::EntryFailed && IsAccessDenied(result.code);
}

bool IsUnloadableComponent(const Result& probe) {
    switch (probe.outcome) {
        case Outcome::LoadFailed: return probe.headers == peexports::ExportCheck::Exported;
        case Outcome::RunnerUnavailable:
        case Outcome::TimedOut:
        case Outcome::Crashed:
        case Outcome::ProcessEnded:
        case Outcome::Stopped:
        case Outcome::ProtocolFault: return true;
        default: return false;
    }
}

std::string Detail(const std::string& path, const Result& result, bool registerFlag, DWORD waitLimitMs) {
    const std::string entry = result.install       ? "DllInstall"
                              : result.typeLibrary ? (registerFlag || result.capture ? "RegisterTypeLib" : "UnRegisterTypeLib")
                              : registerFlag       ? "DllRegisterServer"
                                                   : "DllUnregisterServer";
    switch (result.outcome) {
        case Outcome::Success: return entry + " succeeded.";
        case Outcome::EntryFailed: {
            const std::string text = CodeText(result.code);
            std::string detail = (result.capture ? "The capture was refused: " + entry + " failed" : entry + " failed") +
                                 (text.empty() ? "" : ": " + text) + " (" + Hex(result.code) + ")";
            if (text.empty() || text.back() != '.') detail += '.';
            // For the current user only, rights are not what is missing: the user's own classes are his.
            // A capture writes only to the user's own scratch key: rights are not what is missing either.
            if (IsAccessDenied(result.code) && !result.perUser && !result.capture) detail += " Run Velquist as administrator.";
            return detail;
        }
        case Outcome::EntryMissing: return (result.install ? "It has no " : "Has no ") + entry + " entry point.";
        case Outcome::TimedOut:
            return "Did not finish within " + std::to_string(waitLimitMs / 1000) + " seconds; it was stopped.";
        case Outcome::Crashed: return "Crashed (" + ExceptionText(result.code) + ").";
        case Outcome::ProcessEnded: return "Ended the process (exit code " + std::to_string(result.code) + ").";
        case Outcome::Stopped: return "Stopped before it finished.";
        case Outcome::LoadFailed: return LoadFailedDetail(path, result);
        case Outcome::RunnerUnavailable: return RunnerUnavailableDetail(result);
        case Outcome::ProtocolFault:
            return RunnerName(result.machine) + " answered something it should not (answer " +
                   std::to_string(result.code) + "); it was ended.";
        case Outcome::NotComponent:
            return std::string("Not an ActiveX component: ") + peexports::Describe(result.headers) + ".";
        case Outcome::CaptureFailed: {
            const std::string text = CodeText(result.code);
            std::string detail = "The registry could not be redirected for the capture" +
                                 (text.empty() ? "" : ": " + text) + " (" + Hex(result.code) + ")";
            if (text.empty() || text.back() != '.') detail += '.';
            return detail;
        }
        case Outcome::NothingCaptured:
            return "Its registration writes nothing to the registry; there is nothing to check or export.";
    }
    return {};
}

std::string Grouped(unsigned long long value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::string Counted(unsigned long long count, const char* one, const char* many) {
    return Grouped(count) + " " + (count == 1 ? one : many);
}

std::string Summary(bool registerFlag, unsigned succeeded, unsigned failed, unsigned long long checked,
                    double seconds) {
    return Summary(registerFlag ? "registered" : "unregistered", succeeded, failed, checked, seconds);
}

std::string Summary(const char* done, unsigned succeeded, unsigned failed, unsigned long long checked,
                    double seconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    return Grouped(succeeded) + " " + done + ", " + Grouped(failed) +
           " failed, " + Grouped(checked) + (checked == 1 ? " file" : " files") + " checked in " + time + " s.";
}

}  // namespace modRegister
