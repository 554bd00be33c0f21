// Entry handler of telvarid.dll, and the image's entry point itself: no C runtime
// start-up runs before it (cmake/windows.cmake links with -nostartfiles), so nothing in
// the library may need one (no static constructors, thread-local storage or atexit).
// The library holds no module-wide resources of its own and keeps no handle to its
// module, so there is nothing to set up or tear down: every notification is accepted
// as it comes.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
    (void)hinstDLL;
    (void)fdwReason;
    (void)lpvReserved;
    return TRUE;
}
