// "modem [COUNT]": calls TVRModemAvailable COUNT times (1 by default) with a 76-byte
// buffer pre-filled with a sentinel, and prints the last answer:
//   result=R name=<port name, or (untouched) when no byte changed> tail=<intact|changed>
// where tail says whether the bytes after the name's zero kept the sentinel; with a
// COUNT above 1 also "calls=N ms_per_call=X".
//
// "modem-null": calls TVRModemAvailable(NULL) once and prints result=R.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"

static const int kPortNameBuffer = 76; // what the export asks of its caller
static const unsigned char kSentinel = 0xA5;

static int RunModem(const TelvaridApi *pApi, int argc, char **argv)
{
    int nCalls = argc > 0 ? atoi(argv[0]) : 1;
    if (nCalls < 1)
        nCalls = 1;
    char szName[kPortNameBuffer];
    int nResult = 0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < nCalls; ++i) {
        memset(szName, kSentinel, sizeof szName);
        nResult = pApi->pfnModemAvailable(szName);
    }
    double dMs = HostElapsedMs(&start);

    bool bUntouched = true;
    for (int i = 0; i < kPortNameBuffer; ++i)
        bUntouched = bUntouched && static_cast<unsigned char>(szName[i]) == kSentinel;
    if (bUntouched) {
        printf("result=%d name=(untouched)\n", nResult);
    } else {
        const char *pZero = static_cast<const char *>(memchr(szName, 0, sizeof szName));
        if (!pZero) {
            printf("result=%d name=(unterminated)\n", nResult);
        } else {
            bool bTail = true;
            for (const char *p = pZero + 1; p < szName + kPortNameBuffer; ++p)
                bTail = bTail && static_cast<unsigned char>(*p) == kSentinel;
            printf("result=%d name=%s tail=%s\n", nResult, *szName ? szName : "(empty)", bTail ? "intact" : "changed");
        }
    }
    if (nCalls > 1)
        printf("calls=%d ms_per_call=%.3f\n", nCalls, dMs / nCalls);
    return 0;
}

static int RunModemNull(const TelvaridApi *pApi, int, char **)
{
    printf("result=%d\n", pApi->pfnModemAvailable(nullptr));
    return 0;
}

TVR_HOST_VERB(modem, "modem", RunModem);
TVR_HOST_VERB(modemnull, "modem-null", RunModemNull);
