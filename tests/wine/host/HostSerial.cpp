// "scan" and "check": drive the two serial exports once and print what they returned
// and how long they took, for the suites in tests/wine.
//
//   scan [COUNT]                  result=R port=N ms=T, one line per scan
//   scan-null                     result=R ms=T: one scan given no integer
//   check PORT BAUD FLAG [CMD]    result=R ms=T; PORT "(null)" passes no port name
//
// scan runs the scan COUNT times in a row (1 when left out) in one process, as a setup
// program that scans again would; before each scan it pre-fills the port integer with a
// sentinel, so that a result that leaves it unwritten shows. check passes a null command when CMD is left out; CMD "@N" stands
// for a command of N characters ("AT" followed by zeros), longer than a shell line
// would comfortably carry.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"

static const int kPortSentinel = 12345;  // a value the scan never writes
static const size_t kMaxMadeCommand = 4096;  // longest "@N" command the host builds
static const long kMaxScans = 1000;          // a silent machine's scan is instant: stay sane

static int RunScan(const TelvaridApi *pApi, int argc, char **argv)
{
    long nScans = 1;
    if (argc == 1)
        nScans = strtol(argv[0], nullptr, 10);
    if (argc > 1 || nScans < 1 || nScans > kMaxScans) {
        fprintf(stderr, "usage: tvrhost scan [COUNT], COUNT 1 to %ld\n", kMaxScans);
        return 2;
    }
    for (long i = 0; i < nScans; ++i) {
        int nPort = kPortSentinel;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        int nResult = pApi->pfnScanForModem(&nPort);
        double ms = HostElapsedMs(&start);
        printf("result=%d port=%d ms=%.1f\n", nResult, nPort, ms);
        fflush(stdout);
    }
    return 0;
}

static int RunScanNull(const TelvaridApi *pApi, int argc, char **)
{
    if (argc != 0) {
        fprintf(stderr, "usage: tvrhost scan-null\n");
        return 2;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    int nResult = pApi->pfnScanForModem(nullptr);
    printf("result=%d ms=%.1f\n", nResult, HostElapsedMs(&start));
    return 0;
}

static int RunCheck(const TelvaridApi *pApi, int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: tvrhost check PORT BAUD FLAG [CMD | @N]\n");
        return 2;
    }
    static char szMade[kMaxMadeCommand + 1];
    const char *pszCommand = argc == 4 ? argv[3] : nullptr;
    if (pszCommand && pszCommand[0] == '@') {
        size_t n = strtoul(pszCommand + 1, nullptr, 10);
        if (n > kMaxMadeCommand)
            n = kMaxMadeCommand;
        memset(szMade, '0', n);
        memcpy(szMade, "AT", n < 2 ? n : 2);
        szMade[n] = 0;
        pszCommand = szMade;
    }
    DWORD dwBaud = strtoul(argv[1], nullptr, 10);
    BOOL bSend = atoi(argv[2]);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const char *pszPort = strcmp(argv[0], "(null)") == 0 ? nullptr : argv[0];
    int nResult = pApi->pfnCheckCommParams(pszPort, dwBaud, bSend, pszCommand);
    double ms = HostElapsedMs(&start);
    printf("result=%d ms=%.1f\n", nResult, ms);
    return 0;
}

TVR_HOST_VERB(scan, "scan", RunScan);
TVR_HOST_VERB(check, "check", RunCheck);
TVR_HOST_VERB(scannull, "scan-null", RunScanNull);
