/* A program built as Microsoft's tools build one: compiled in MSVC mode against the
 * archive's telvarid.h and linked by lld-link against the archive's telvarid.lib, with
 * no C runtime. On x86 the compiler names the cdecl functions _TVRScanForModem and so
 * on; the import library must resolve those to the undecorated exports.
 *
 * Run, it calls the scan and the telephony query and exits with
 * 100 * scan result + 10 * port number + telephony result (132: a modem on COM3 and a
 * data modem set up for 9600 bit/s or more). */
#include "telvarid.h"

int __cdecl start(void)
{
    int nPort = 0;
    char szPort[76];
    int nScan, nModem;
    szPort[0] = 0;
    nScan = TVRScanForModem(&nPort);
    nModem = TVRModemAvailable(szPort);
    /* Referenced so that every export's import is linked; never called. */
    if (nScan > 1)
        return TVRCheckCommParams(szPort, 9600, 0, 0) + (TVRInitTextDialog(0, szPort, 0, 1, 1) != 0);
    return 100 * nScan + 10 * nPort + nModem;
}
