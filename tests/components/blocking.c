/* Entry points that never return; with SPIN_THREAD they first start a thread running this library's code. */
#include <windows.h>

#ifdef SPIN_THREAD
static volatile LONG g_spins;

static DWORD WINAPI Spin(LPVOID unused) {
    (void)unused;
    for (;;) {
        InterlockedIncrement(&g_spins);
        Sleep(5);
    }
    return 0;
}

__declspec(dllexport) LONG WINAPI SpinCount(void) { return InterlockedCompareExchange(&g_spins, 0, 0); }
#endif

static HRESULT Block(void) {
#ifdef SPIN_THREAD
    HANDLE thread = CreateThread(NULL, 0, Spin, NULL, 0, NULL);
    if (thread) CloseHandle(thread);
#endif
    Sleep(INFINITE);
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return Block(); }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return Block(); }
