// The test components built into the component folder (testsupport::ComponentPath) and what each does.
// A test program that uses them: target_include_directories(<test> PRIVATE ${CMAKE_SOURCE_DIR}/tests/components)
// and add_dependencies(<test> velquist_test_components). The CLSIDs are also given in
// tests/components/CMakeLists.txt, which compiles comserver.c once per class.
#pragma once

// In-process COM servers. DllRegisterServer writes HKEY_CLASSES_ROOT\CLSID\{clsid} (default value the
// description below, InprocServer32 = the DLL's own full path, ThreadingModel "Apartment");
// DllUnregisterServer removes that key. Registration succeeds only on a thread initialised for COM as a
// single-threaded apartment, as the system's own registration tool prepares it; otherwise it returns
// CO_E_NOTINITIALIZED (never initialised) or RPC_E_CHANGED_MODE (multithreaded) and writes nothing.
#define VELQUIST_COMSERVER_DLL "comserver.dll"
#define VELQUIST_COMSERVER_CLSID "{7A3E5C10-4B1D-4F2A-9C61-5D0E2B8F1A01}"
#define VELQUIST_COMSERVER_NAME "Velquist test component 1"
#define VELQUIST_COMSERVER2_DLL "comserver2.dll"
#define VELQUIST_COMSERVER2_CLSID "{7A3E5C10-4B1D-4F2A-9C61-5D0E2B8F1A02}"
#define VELQUIST_COMSERVER2_NAME "Velquist test component 2"

// A component that registers as full ones do (both bitnesses share the identifiers, as a product
// shipping both builds does): the class VELQUIST_TYPED_CLSID (InprocServer32 = its path,
// ThreadingModel "Both", ProgID, VersionIndependentProgID, TypeLib, an empty Programmable key), the
// ProgIDs VELQUIST_TYPED_PROGID and ".1" with CLSID (and CurVer), the type library
// VELQUIST_TYPED_LIBID 1.0 with the oleautomation interface VELQUIST_TYPED_IID (a file "typed.dll.tlb"
// made beside the DLL at each registration, registered with RegisterTypeLib), and under
// HKEY_LOCAL_MACHINE\VELQUIST_TYPED_PRODUCT_KEY the values Path (its path) and Build (REG_DWORD 7).
// DllUnregisterServer removes all of it.
#define VELQUIST_TYPED_DLL "typed.dll"
#define VELQUIST_TYPED_CLSID "{5D2C8E41-0B7A-4C39-A1F6-2E9D7B30C4A5}"
#define VELQUIST_TYPED_CLASS_KEY "CLSID\\" VELQUIST_TYPED_CLSID
#define VELQUIST_TYPED_NAME "Velquist typed component"
#define VELQUIST_TYPED_PROGID "Velquist.Typed"
#define VELQUIST_TYPED_LIBID "{5D2C8E42-0B7A-4C39-A1F6-2E9D7B30C4A5}"
#define VELQUIST_TYPED_IID "{5D2C8E43-0B7A-4C39-A1F6-2E9D7B30C4A5}"
#define VELQUIST_TYPED_PRODUCT_KEY "SOFTWARE\\Velquist Tests\\Typed"

// DllRegisterServer and DllUnregisterServer return SELFREG_E_CLASS at once.
#define VELQUIST_FAILING_DLL "failing.dll"
// DllRegisterServer (returns S_OK, writes nothing) but no DllUnregisterServer.
#define VELQUIST_NOUNREGISTER_DLL "noUnregister.dll"
// Both entry points block for ever (Sleep(INFINITE)).
#define VELQUIST_BLOCKING_DLL "blocking.dll"
// DllRegisterServer writes through a null pointer; DllUnregisterServer raises the exception
// VELQUIST_CRASHING_UNREGISTER_CODE, which nobody handles.
#define VELQUIST_CRASHING_DLL "crashing.dll"
#define VELQUIST_CRASHING_UNREGISTER_CODE 0xE0C0FFEE
// Exports both entry points (returning S_OK), but its DllMain answers FALSE, so it never loads.
#define VELQUIST_INITFAILS_DLL "initFails.dll"
// A library exporting neither entry point (only "NothingToSee").
#define VELQUIST_NOENTRY_DLL "noEntry.dll"
// Exports both entry points (S_OK) but imports ghostdep.dll, which exists nowhere, so it never loads.
#define VELQUIST_MISSINGDEP_DLL "missingDep.dll"
#define VELQUIST_MISSINGDEP_GHOST_DLL "ghostdep.dll"
// In the sub-folder "deep": missingDeep.dll imports deepHelper.dll, which lies beside it and imports
// deepGhost.dll, which exists nowhere; so missingDeep.dll never loads (both entry points would return S_OK).
#define VELQUIST_MISSINGDEEP_FOLDER "deep"
#define VELQUIST_MISSINGDEEP_DLL "missingDeep.dll"
#define VELQUIST_MISSINGDEEP_HELPER_DLL "deepHelper.dll"
#define VELQUIST_MISSINGDEEP_GHOST_DLL "deepGhost.dll"
// Imports PresentFunction and UnexportedFunction by name from lackingHelper.dll, which lies beside it and
// exports only PresentFunction. Windows refuses to load it (ERROR_PROC_NOT_FOUND); Wine 8 loads it with a
// stub in place of UnexportedFunction, which faults when DllRegisterServer calls it.
#define VELQUIST_MISSINGFUNCTION_DLL "missingFunction.dll"
#define VELQUIST_MISSINGFUNCTION_HELPER_DLL "lackingHelper.dll"
#define VELQUIST_MISSINGFUNCTION_NAME "UnexportedFunction"
// DllRegisterServer and DllUnregisterServer return E_ACCESSDENIED at once (as a component does when it
// may not write its keys).
#define VELQUIST_ACCESSDENIED_DLL "accessDenied.dll"
// In the sub-folder "deps": withDep.dll imports depHelper.dll, which lies only beside it. Its entry
// points return S_OK when the helper answers (they write nothing).
#define VELQUIST_DEPS_FOLDER "deps"
#define VELQUIST_WITHDEP_DLL "withDep.dll"
#define VELQUIST_DEPHELPER_DLL "depHelper.dll"

// Components that misbehave as real ones do; each exports both entry points (S_OK unless said):
// DllMain never returns from its process attach;
#define VELQUIST_HANGINIT_DLL "hangInit.dll"
// DllRegisterServer ends its process with exit code 3;
#define VELQUIST_EXITPROCESS_DLL "exitProcess.dll"
// DllRegisterServer starts a thread that returns into the library's code 300 ms later, after the
// library was released, and faults there; the entry point itself succeeds;
#define VELQUIST_STRAYTHREAD_DLL "strayThread.dll"
// DllRegisterServer sends WM_SETTINGCHANGE to every top-level window and waits for all of them;
#define VELQUIST_BROADCAST_DLL "broadcast.dll"
// DllRegisterServer recurses until its stack overflows;
#define VELQUIST_STACKOVERFLOW_DLL "stackOverflow.dll"
// DllRegisterServer sends the main window ("velquistform") a click of "Velquist!" and WM_CLOSE;
#define VELQUIST_REENTER_DLL "reenter.dll"
// DllRegisterServer (built with g++) lets a C++ exception escape into its caller.
#define VELQUIST_CPPTHROW_DLL "cppThrow.dll"
