/* The helper missingDeep.dll needs, beside it; it needs deepGhost.dll itself, which exists nowhere. */
#include <windows.h>

int DeepGhostFunction(void);

__declspec(dllexport) int DeepHelperValue(void) { return DeepGhostFunction(); }
