/* A plain library without registration entry points. */
#include <windows.h>

__declspec(dllexport) int WINAPI NothingToSee(void) { return 7; }
