/* Lies beside missingFunction.dll and exports only one of the two functions that one imports from it. */
#include <windows.h>

__declspec(dllexport) int PresentFunction(void) { return 1; }
