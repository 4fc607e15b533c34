/* Components that misbehave the way real ones do, one way each, chosen by a define:
   HANG_INIT       DllMain never returns from its process attach;
   EXIT_PROCESS    DllRegisterServer ends its process with exit code 3;
   STRAY_THREAD    DllRegisterServer starts a thread that runs this library's code after the library
                   was released (it returns into unmapped code), then returns S_OK;
   BROADCAST       DllRegisterServer broadcasts WM_SETTINGCHANGE to every top-level window and waits
                   for all of them, as installers do, then returns S_OK;
   STACK_OVERFLOW  DllRegisterServer recurses without end;
   REENTER         DllRegisterServer sends the program's main window a click of its register button
                   and a close request, then returns S_OK. */
#include <windows.h>

#ifdef HANG_INIT
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) Sleep(INFINITE);
    return TRUE;
}
#endif

#ifdef STRAY_THREAD
static DWORD WINAPI Linger(LPVOID unused) {
    (void)unused;
    Sleep(300);
    return 0; /* back into this library's code, which is gone by now */
}
#endif

#ifdef STACK_OVERFLOW
static int Recurse(volatile int* depth) {
    volatile char frame[4096];
    frame[0] = (char)*depth;
    ++*depth;
    return Recurse(depth) + frame[0];
}
#endif

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
#ifdef EXIT_PROCESS
    ExitProcess(3);
#endif
#ifdef STRAY_THREAD
    HANDLE thread = CreateThread(NULL, 0, Linger, NULL, 0, NULL);
    if (thread) CloseHandle(thread);
#endif
#ifdef BROADCAST
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment");
#endif
#ifdef REENTER
    HWND main = FindWindowA("velquistform", NULL);
    HWND button = main ? FindWindowExA(main, NULL, "Button", "Velquist!") : NULL;
    if (button) SendMessageA(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), (LPARAM)button);
    if (main) SendMessageA(main, WM_CLOSE, 0, 0);
#endif
#ifdef STACK_OVERFLOW
    volatile int depth = 0;
    return Recurse(&depth) ? S_OK : S_FALSE;
#endif
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return S_OK; }
