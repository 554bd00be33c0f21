// Not built yet: the telephony modem query answers 0 without loading anything.
#include <windows.h>

extern "C" int __cdecl TVRModemAvailable(char *lpszPortName)
{
    (void)lpszPortName;
    return 0;
}
