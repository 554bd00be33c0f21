// Entry handler of telvarid.dll. The library holds no module-wide resources of its own
// and keeps no handle to its module, so there is nothing to set up or tear down: every
// notification is accepted as it comes.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
    (void)hinstDLL;
    (void)fdwReason;
    (void)lpvReserved;
    return TRUE;
}
