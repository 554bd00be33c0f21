// Not built yet: the serial modem scan answers "no modem" without touching a port.
#include <windows.h>

extern "C" int __cdecl TVRScanForModem(int *lpPortNumber)
{
    (void)lpPortNumber;
    return 0;
}
