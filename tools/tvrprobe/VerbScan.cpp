// "scan": asks telvarid.dll to look for a modem on COM1 to COM4 and says what it found.
#include <stdio.h>

#include "Verbs.h"

static int RunScan(const TelvaridApi *pApi, int argc, char **)
{
    if (argc != 0) {
        fprintf(stderr, "usage: tvrprobe scan\n");
        return 2;
    }
    printf("Looking for a modem on COM1 to COM4 (a port with nothing attached takes about "
           "8 seconds)...\n");
    fflush(stdout);
    int nPort = 0;
    if (pApi->pfnScanForModem(&nPort) && nPort >= 1 && nPort <= 4) {
        printf("A modem answers on COM%d.\n", nPort);
        return 0;
    }
    printf("No modem answered on COM1 to COM4.\n");
    return 1;
}

TVR_PROBE_VERB(scan, "scan", "", "looks for a modem that answers \"AT\" on COM1 to COM4 (the default verb)",
               RunScan);
