// Not built yet: the port parameter check answers 0 without touching a port.
#include <windows.h>

extern "C" int __cdecl TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
                                          LPCSTR lpszCommand)
{
    (void)lpszPortName;
    (void)dwBaudRate;
    (void)bSendCommand;
    (void)lpszCommand;
    return 0;
}
