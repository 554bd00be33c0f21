// "tvrprobe modem": asks the telephony service, through telvarid, whether it lists a
// data modem, on which port, and whether it is set up for 9600 bit/s or more.
#include <stdio.h>
#include <string.h>

#include "Verbs.h"

// The buffer holds the last port name that the service reported during the walk. That
// need not be the port of the modem the answer is about (the port-name query of that
// modem may have failed after an earlier one succeeded), so it is shown as what it is.
static void PrintLastPort(const char *pszPort)
{
    if (pszPort[0])
        printf("; the last port name reported is %s.\n", pszPort);
    else
        printf("; no port name was reported.\n");
}

static int RunModem(const TelvaridApi *pApi, int, char **)
{
    char szPort[76]; // the export writes at most 75 characters and a zero
    memset(szPort, 0, sizeof szPort);
    int nResult = pApi->pfnModemAvailable(szPort);
    if (nResult == 2) {
        printf("The telephony service lists a data modem set up for 9600 bit/s or more");
        PrintLastPort(szPort);
        return 0;
    }
    if (nResult == 1) {
        printf("The telephony service lists a data modem, but none is set up for 9600 bit/s or more");
        PrintLastPort(szPort);
        return 0;
    }
    printf("The telephony service can't be used here, or it lists no data modem.\n");
    return 1;
}

TVR_PROBE_VERB(modem, "modem", "", "tells whether the telephony service lists a data modem, its port, "
                                   "and whether it is set up for 9600 bit/s or more",
               RunModem);
