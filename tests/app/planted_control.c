/* The planted DLLs' control: a program that imports version.dll as programs ordinarily do. Beside a
   planted version.dll it loads that one, which shows that the plant and the loader's overrides work. */
#include <windows.h>

int main(void) {
    DWORD handle = 0;
    return GetFileVersionInfoSizeA("kernel32.dll", &handle) != 0 ? 0 : 1;
}
