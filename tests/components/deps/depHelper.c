/* The helper library withDep.dll needs; it lies only in withDep.dll's own folder. */
#include <windows.h>

__declspec(dllexport) int DepHelperValue(void) { return 42; }
