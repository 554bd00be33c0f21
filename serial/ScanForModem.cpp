// The serial modem scan: finds the first of COM1..COM4 on which a device answers "AT".
//
//   TVRScanForModem          for COM1, COM2, COM3, COM4, stop at the first answer
//     ProbeCommPort          the one probe (serial/CommProbe.cpp), without a stop event:
//                            open "COMn" exclusively -> dialogue -> close -> judge
//
// One port at a time, on the caller's thread; nothing is kept between calls.
//
// Worst case: a port that does not open costs no wait at all, one opened port at most
// 12100 ms (serial/CommProbe.cpp), the scan of four opened ports 48400 ms. A sound
// device costs far less: a modem about 1.6 s, a silent opened port 8 s.
#include <windows.h>

#include "frame/telvarid.h"
#include "serial/ModemScan.h"

extern "C" int __cdecl TVRScanForModem(int *lpPortNumber)
{
    // No integer (an installer that passes 0 for it): the scan runs all the same and its
    // answer is returned, with no port number written anywhere.
    if (lpPortNumber != NULL)
        *lpPortNumber = 0;
    for (LONG lPort = TVR_FIRST_SCAN_PORT; lPort <= TVR_LAST_SCAN_PORT; ++lPort) {
        DWORD dwError; // collected by the probe; the scan's answer does not depend on it
        if (ProbeCommPort(lPort, &dwError)) {
            if (lpPortNumber != NULL)
                *lpPortNumber = (int)lPort;
            return 1;
        }
    }
    return 0;
}
