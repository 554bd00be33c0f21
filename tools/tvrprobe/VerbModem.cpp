// "tvrprobe modem": asks the telephony service, through telvarid, whether it lists a
// data modem, on which port, and whether it is set up for 9600 bit/s or more.
#include <stdio.h>
#include <string.h>

#include "Verbs.h"

static int RunModem(const TelvaridApi *pApi, int, char **)
{
    char szPort[76]; // the export writes at most 75 characters and a zero
    memset(szPort, 0, sizeof szPort);
    int nResult = pApi->pfnModemAvailable(szPort);
    if (nResult == 2) {
        printf("The telephony service lists a data modem set up for 9600 bit/s or more");
        if (szPort[0])
            printf(", on port %s.\n", szPort);
        else
            printf("; its port could not be learned.\n");
        return 0;
    }
    if (nResult == 1) {
        printf("The telephony service lists a data modem, but none is set up for 9600 bit/s or more.\n");
        if (szPort[0])
            printf("The last one examined is on port %s.\n", szPort);
        else
            printf("Its port could not be learned.\n");
        return 0;
    }
    printf("The telephony service can't be used here, or it lists no data modem.\n");
    return 1;
}

TVR_PROBE_VERB(modem, "modem", "", "tells whether the telephony service lists a data modem, its port, "
                                   "and whether it is set up for 9600 bit/s or more",
               RunModem);
