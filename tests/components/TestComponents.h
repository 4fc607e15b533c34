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

// Components with DllInstall that record each call of their entry points, in order, as the value named
// after the file under HKEY_CURRENT_USER\VELQUIST_INSTALLER_KEY: "register@1; install(TRUE,"user")@2"
// ("unregister", "install(FALSE,NULL)"; @N counts the calls of one load). installer.dll succeeds in
// all; installFails.dll's DllInstall returns E_FAIL; installOnly.dll exports DllInstall alone.
#define VELQUIST_INSTALLER_DLL "installer.dll"
#define VELQUIST_INSTALLFAILS_DLL "installFails.dll"
#define VELQUIST_INSTALLONLY_DLL "installOnly.dll"
#define VELQUIST_INSTALLER_KEY "Software\\Velquist Tests\\Installer"

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
// Keeps the system's msimtf.dll (a component of Wine's) loaded once registered.
#define VELQUIST_HOLDER_DLL "holder.dll"
#define VELQUIST_HOLDER_LIBRARY "msimtf.dll"
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
// Also in "deps": seeker.dll registers the class VELQUIST_SEEKER_CLSID only when depHelper.dll answers and
// version.dll, loaded by name in its DllRegisterServer, came from the system folder (else E_FAIL).
#define VELQUIST_SEEKER_DLL "deps\\seeker.dll"
#define VELQUIST_SEEKER_CLSID "{7A3E5C10-4B1D-4F2A-9C61-5D0E2B8F1A03}"

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

// In-process COM servers whose classes a client makes (classes.c, proxyStub.c). Each registers under
// HKEY_CLASSES_ROOT (whatever the thread's apartment): for each class CLSID\{clsid} (default value its name,
// InprocServer32 = the DLL's own full path with the ThreadingModel given, ProgID) and the ProgID's key with
// CLSID (the proxy/stub DLL registers as its entry says); each exports DllGetClassObject and DllCanUnloadNow
// (S_OK once no object, factory reference or server lock is left). DllUnregisterServer removes all of it. Said below:
// what CoCreateInstance(clsid, NULL, CLSCTX_INPROC_SERVER, IID_IUnknown) gives a client in an apartment of
// the class's model (apartment: a single-threaded one; free: the multithreaded one).
//
// Two classes that are made: S_OK, an object that also answers IPersist, whose GetClassID gives its class.
// VELQUIST_CREATABLE_CLSID has ThreadingModel "Apartment", VELQUIST_CREATABLE_FREE_CLSID "Free"; both
// name (TypeLib) the library VELQUIST_CREATABLE_LIBID 1.0 (no types), made beside the DLL as
// "creatable.dll.tlb" at each registration and registered with RegisterTypeLib (so under 1.0\0\win32 or
// win64, by bitness; DllUnregisterServer unregisters this bitness's with UnRegisterTypeLib):
// LoadRegTypeLib(libid, 1, 0, 0) gives S_OK.
#define VELQUIST_CREATABLE_DLL "creatable.dll"
#define VELQUIST_CREATABLE_CLSID "{E3C8DE09-6FD8-4897-9E94-7DEF8E17D32B}"
#define VELQUIST_CREATABLE_PROGID "Velquist.Creatable"
#define VELQUIST_CREATABLE_FREE_CLSID "{495A543C-BD9F-466C-85E6-8A12188EFDA3}"
#define VELQUIST_CREATABLE_FREE_PROGID "Velquist.CreatableFree"
#define VELQUIST_CREATABLE_LIBID "{6FDD4DEB-93AF-45A8-BF69-B56D46D2535B}"
// A licensed control ("Apartment") whose licence is not on the machine: its factory answers IClassFactory2
// (GetLicInfo: no runtime key, not verified; RequestLicKey and CreateInstanceLic give CLASS_E_NOTLICENSED)
// and its CreateInstance gives CLASS_E_NOTLICENSED, so CoCreateInstance gives CLASS_E_NOTLICENSED (0x80040112).
#define VELQUIST_LICENSED_DLL "licensed.dll"
#define VELQUIST_LICENSED_CLSID "{DF05DA71-5189-4B10-AC69-E384DD0C0F2E}"
#define VELQUIST_LICENSED_PROGID "Velquist.Licensed"
// Registers a class ("Apartment") its DllGetClassObject does not serve: DllGetClassObject gives
// CLASS_E_CLASSNOTAVAILABLE for it, and so does CoCreateInstance (0x80040111).
#define VELQUIST_UNKNOWNCLASS_DLL "unknownClass.dll"
#define VELQUIST_UNKNOWNCLASS_CLSID "{4DCC097E-73FC-4516-9E88-CDAA37F32919}"
#define VELQUIST_UNKNOWNCLASS_PROGID "Velquist.UnknownClass"
// Its class ("Apartment") needs a library that exists nowhere: the DLL loads and registers, but its
// factory's CreateInstance calls a function of VELQUIST_DELAYMISSING_GHOST_DLL through a delay import, so
// CoCreateInstance raises VELQUIST_DELAY_MOD_NOT_FOUND (nobody handles it), whose ExceptionInformation[0]
// points at the DelayLoadInfo whose szDll is VELQUIST_DELAYMISSING_GHOST_DLL (dlp.szProcName
// "DelayGhostFunction", dwLastError ERROR_MOD_NOT_FOUND).
#define VELQUIST_DELAYMISSING_DLL "delayMissing.dll"
#define VELQUIST_DELAYMISSING_CLSID "{606B20FE-677D-449A-B9F6-159FF2FC07E5}"
#define VELQUIST_DELAYMISSING_PROGID "Velquist.DelayMissing"
#define VELQUIST_DELAYMISSING_GHOST_DLL "delayGhost.dll"
#define VELQUIST_DELAY_MOD_NOT_FOUND 0xC06D007E
// Its class's ("Apartment") CreateInstance writes through a null pointer: CoCreateInstance raises an
// access violation (0xC0000005) that nobody handles.
#define VELQUIST_CRASHINGCLASS_DLL "crashingClass.dll"
#define VELQUIST_CRASHINGCLASS_CLSID "{21B6F440-36D0-4F83-A771-5485741183B7}"
#define VELQUIST_CRASHINGCLASS_PROGID "Velquist.CrashingClass"
// Its class's ("Apartment") CreateInstance never returns (Sleep(INFINITE)), nor does CoCreateInstance.
#define VELQUIST_HANGINGCLASS_DLL "hangingClass.dll"
#define VELQUIST_HANGINGCLASS_CLSID "{7041E25C-8F74-4ED4-B373-C3C00AEE35D8}"
#define VELQUIST_HANGINGCLASS_PROGID "Velquist.HangingClass"
// Writes its type library's keys itself, as RegisterTypeLib would: TypeLib\{libid}\1.0 (default value a
// name, FLAGS "0", HELPDIR the DLL's folder) and 1.0\0\win32 (win64 in the 64-bit build) naming
// VELQUIST_MISSINGTYPELIB_TLB beside the DLL, a file that is never made: QueryPathOfRegTypeLib finds that
// path, but LoadRegTypeLib(libid, 1, 0, 0) gives TYPE_E_CANTLOADLIBRARY (0x80029C4A). Its one class
// ("Apartment", TypeLib = the libid) is made as the creatable ones are (S_OK, IPersist). DllUnregisterServer
// removes this bitness's win32/win64 key, and the rest once the other bitness's is gone too.
#define VELQUIST_MISSINGTYPELIB_DLL "missingTypeLib.dll"
#define VELQUIST_MISSINGTYPELIB_CLSID "{189C283F-57C1-4C90-BD33-DF7F790BF1AA}"
#define VELQUIST_MISSINGTYPELIB_PROGID "Velquist.MissingTypeLib"
#define VELQUIST_MISSINGTYPELIB_LIBID "{FF623A3C-9C3A-43D5-8FF7-243E4208A6C0}"
#define VELQUIST_MISSINGTYPELIB_TLB "missingTypeLib.tlb"
// A proxy/stub DLL: registers Interface\{iid} (default value VELQUIST_PROXYSTUB_INTERFACE_NAME,
// ProxyStubClsid32 = VELQUIST_PROXYSTUB_PSCLSID, NumMethods "3") and CLSID\{psclsid} (InprocServer32 =
// its path, ThreadingModel "Both"; no ProgID). Its DllGetClassObject serves psclsid with an
// IPSFactoryBuffer (CreateProxy and CreateStub give E_NOTIMPL), so CoGetClassObject(psclsid,
// CLSCTX_INPROC_SERVER, NULL, IID_IPSFactoryBuffer) gives S_OK in a single-threaded apartment.
#define VELQUIST_PROXYSTUB_DLL "proxyStub.dll"
#define VELQUIST_PROXYSTUB_IID "{AD5DDD18-ACEA-4795-A557-D2D495D126DD}"
#define VELQUIST_PROXYSTUB_INTERFACE_NAME "IVelquistProxied"
#define VELQUIST_PROXYSTUB_PSCLSID "{D8A919D8-A11E-4454-9071-212208A8DF90}"

// Type libraries compiled by widl (typelibs/*.idl); widl 7.0 writes only the MSFT format, none in the
// older SLTG one. VELQUIST_GRID32_TLB and VELQUIST_GRID64_TLB: the library "Grid" 1.0 (locale 0) for SYS_WIN32
// and SYS_WIN64, which imports stdole2.tlb and declares five interfaces (type descriptions of kind
// TKIND_INTERFACE or TKIND_DISPATCH) besides an enum and a coclass: the dual IGridCell and IGrid, the
// automation-compatible IGridLayout (RegisterTypeLib gives each of these three and the dispinterface
// DGridEvents an Interface key), and IGridStore, neither dual nor automation-compatible (no Interface key).
#define VELQUIST_GRID32_TLB "grid32.tlb"
#define VELQUIST_GRID64_TLB "grid64.tlb"
#define VELQUIST_GRID_NAME "Grid"
#define VELQUIST_GRID_LIBID "{48BC6534-B85D-44DC-81BF-FAD077FBA850}"
#define VELQUIST_GRID_INTERFACES 5
#define VELQUIST_GRID_CELL_IID "{FE61BB26-6C93-48D8-9611-35915347D4DC}"
#define VELQUIST_GRID_IID "{CCEDA677-E05E-4B63-9BBC-0F8C049A0747}"
#define VELQUIST_GRID_LAYOUT_IID "{B0C5826C-C6F3-40B4-827D-06A42202A428}"
#define VELQUIST_GRID_STORE_IID "{9C1FCD6C-AEE2-4D55-A017-A56B743EA952}"
#define VELQUIST_GRID_EVENTS_IID "{D2ABC178-78E7-45D4-B0F7-682CFAF7A2C0}"
// A library without entry points whose TYPELIB resources are, both of its own bitness, 1: the library
// "Tiles" 2.1 (locale 0x409, the one dual interface ITile and a coclass) and 2: Grid (as above). A path
// "typeLibraries.dll\\2" names Grid; the DLL's name alone, Tiles.
#define VELQUIST_TYPELIBRARIES_DLL "typeLibraries.dll"
#define VELQUIST_TILES_NAME "Tiles"
#define VELQUIST_TILES_LIBID "{D9CAD37E-84DD-450D-B43D-87DF9FE3EE75}"
#define VELQUIST_TILES_LCID 0x0409
#define VELQUIST_TILE_IID "{4493CC8F-78E6-4CEC-8C1E-A5BBFDC59259}"
