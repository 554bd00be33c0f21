// A TAPI32.dll for the Wine suites: a telephony service whose line devices come from a
// scenario file beside the DLL, tapi-scenario.txt, read at each lineInitialize, and
// which appends every call it receives to tapi-calls.log beside it. When a file
// tapi-loaded.log stands beside it, it appends "loaded PATH" there each time a process
// loads it, so a suite can tell which of two copies was loaded (it creates that file
// only beside the copies it watches). Built for x86 and
// for x86-64 like the library: the port handle that leads the "comm/datamodem"
// identifier is a HANDLE of this build (4 or 8 bytes), and the log says which width it
// wrote.
//
// Scenario lines (numbers in C notation, results as 32-bit values, '#' starts a comment):
//   init RESULT [nocount]   lineInitialize's result; nocount leaves handle and count unwritten
//   log off                 write no call log (for timing)
//   hostile-id              lineGetID then rewrites the block's dwTotalSize and dwUsedSize to
//                           65536 and its dwStringOffset to 5000, past any block a caller
//                           allocates: its readers must stay inside what they allocated
//   device NEG CAPS BEARER MEDIA OPEN GETID PORT CONFIG BAUD
//       one line device, in ID order: the results of lineNegotiateAPIVersion,
//       lineGetDevCaps, lineOpen, lineGetID and lineGetDevConfig, the bearer and media
//       modes of its capabilities, its port name ("-" for an empty one) and the speed
//       stored in its configuration.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef DWORD HLINEAPP;
typedef DWORD HLINE;
typedef void(CALLBACK *LINECALLBACK)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR);

static const LONG kBadDeviceId = (LONG)0x80000002;   // LINEERR_BADDEVICEID
static const LONG kBadLine = (LONG)0x8000002B;       // LINEERR_INVALLINEHANDLE
static const LONG kUninitialized = (LONG)0x80000050; // LINEERR_UNINITIALIZED
static const HLINEAPP kLineApp = 0x7A71;              // the one registration handed out
static const DWORD kLineBase = 0x100;                 // line handle = base + device ID
static const int kMaxDevices = 4096;

struct FakeDevice {
    LONG lNegotiate, lCaps, lOpen, lGetID, lConfig;
    DWORD dwBearer, dwMedia, dwBaud;
    char szPort[96];
};

static HINSTANCE g_hInstance;
static FakeDevice *g_pDevices;
static DWORD g_dwDevices;
static LONG g_lInit;
static BOOL g_bNoCount;
static BOOL g_bLog = TRUE;
static BOOL g_bHostileId;
static BOOL g_bOpen[kMaxDevices];

// Path of a file beside this DLL.
static void BesideDll(const char *pszFile, char *pszPath, DWORD cch)
{
    DWORD n = GetModuleFileNameA(g_hInstance, pszPath, cch);
    while (n > 0 && pszPath[n - 1] != '\\' && pszPath[n - 1] != '/')
        --n;
    pszPath[n] = '\0';
    strncat(pszPath, pszFile, cch - n - 1);
}

static void Log(const char *pszFormat, ...)
{
    if (!g_bLog)
        return;
    char szLine[512];
    va_list args;
    va_start(args, pszFormat);
    int n = _vsnprintf(szLine, sizeof szLine - 2, pszFormat, args);
    va_end(args);
    if (n < 0)
        n = (int)strlen(szLine);
    szLine[n++] = '\n';
    char szPath[MAX_PATH];
    BesideDll("tapi-calls.log", szPath, MAX_PATH);
    HANDLE h = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(h, szLine, (DWORD)n, &cbWritten, NULL);
    CloseHandle(h);
}

static LONG Num(const char *psz) { return (LONG)strtoul(psz, NULL, 0); }

static void LoadScenario(void)
{
    free(g_pDevices);
    g_pDevices = (FakeDevice *)calloc(kMaxDevices, sizeof(FakeDevice));
    g_dwDevices = 0;
    g_lInit = 0;
    g_bNoCount = FALSE;
    g_bLog = TRUE;
    g_bHostileId = FALSE;
    char szPath[MAX_PATH];
    BesideDll("tapi-scenario.txt", szPath, MAX_PATH);
    FILE *f = fopen(szPath, "r");
    if (!f)
        return;
    char szLine[512];
    while (fgets(szLine, sizeof szLine, f)) {
        char szWord[10][100];
        int n = sscanf(szLine, "%99s %99s %99s %99s %99s %99s %99s %99s %99s %99s", szWord[0], szWord[1], szWord[2],
                       szWord[3], szWord[4], szWord[5], szWord[6], szWord[7], szWord[8], szWord[9]);
        if (n <= 0 || szWord[0][0] == '#')
            continue;
        if (strcmp(szWord[0], "init") == 0 && n >= 2) {
            g_lInit = Num(szWord[1]);
            g_bNoCount = n >= 3 && strcmp(szWord[2], "nocount") == 0;
        } else if (strcmp(szWord[0], "hostile-id") == 0) {
            g_bHostileId = TRUE;
        } else if (strcmp(szWord[0], "log") == 0 && n >= 2) {
            g_bLog = strcmp(szWord[1], "off") != 0;
        } else if (strcmp(szWord[0], "device") == 0 && n == 10 && g_dwDevices < (DWORD)kMaxDevices) {
            FakeDevice *d = &g_pDevices[g_dwDevices++];
            d->lNegotiate = Num(szWord[1]);
            d->lCaps = Num(szWord[2]);
            d->dwBearer = (DWORD)Num(szWord[3]);
            d->dwMedia = (DWORD)Num(szWord[4]);
            d->lOpen = Num(szWord[5]);
            d->lGetID = Num(szWord[6]);
            // Longer words are cut to the field, zero included.
            snprintf(d->szPort, sizeof d->szPort, "%s", strcmp(szWord[7], "-") == 0 ? "" : szWord[7]);
            d->lConfig = Num(szWord[8]);
            d->dwBaud = (DWORD)strtoul(szWord[9], NULL, 0);
        }
    }
    fclose(f);
}

static FakeDevice *Device(DWORD dwDeviceID) { return dwDeviceID < g_dwDevices ? &g_pDevices[dwDeviceID] : NULL; }

static void Put(BYTE *p, DWORD cb, DWORD dwOffset, DWORD dwValue)
{
    if (dwOffset + 4 <= cb)
        memcpy(p + dwOffset, &dwValue, 4);
}

static DWORD TotalSize(const void *p)
{
    DWORD dw;
    memcpy(&dw, p, 4);
    return dw;
}

extern "C" {

LONG WINAPI lineInitialize(HLINEAPP *lphLineApp, HINSTANCE, LINECALLBACK, LPCSTR lpszAppName, LPDWORD lpdwNumDevs)
{
    LoadScenario();
    Log("lineInitialize app=%s result=%ld", lpszAppName ? lpszAppName : "(null)", (long)g_lInit);
    if (g_lInit < 0 || g_bNoCount)
        return g_lInit;
    *lphLineApp = kLineApp;
    *lpdwNumDevs = g_dwDevices;
    return g_lInit;
}

LONG WINAPI lineShutdown(HLINEAPP hLineApp)
{
    int nOpen = 0;
    for (int i = 0; i < kMaxDevices; ++i)
        nOpen += g_bOpen[i] ? 1 : 0;
    Log("lineShutdown app=0x%lx open_lines=%d", (unsigned long)hLineApp, nOpen);
    return hLineApp == kLineApp ? 0 : kUninitialized;
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP, DWORD dwDeviceID, DWORD dwLow, DWORD dwHigh, LPDWORD lpdwAPIVersion,
                                    void *lpExtensionID)
{
    Log("lineNegotiateAPIVersion dev=%lu low=0x%lx high=0x%lx", (unsigned long)dwDeviceID, (unsigned long)dwLow,
        (unsigned long)dwHigh);
    FakeDevice *d = Device(dwDeviceID);
    if (!d)
        return kBadDeviceId;
    if (d->lNegotiate >= 0) {
        *lpdwAPIVersion = dwHigh;
        memset(lpExtensionID, 0, 16);
    }
    return d->lNegotiate;
}

LONG WINAPI lineGetDevCaps(HLINEAPP, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD, void *lpLineDevCaps)
{
    BYTE *p = (BYTE *)lpLineDevCaps;
    DWORD cb = TotalSize(p);
    Log("lineGetDevCaps dev=%lu version=0x%lx total=%lu", (unsigned long)dwDeviceID, (unsigned long)dwAPIVersion,
        (unsigned long)cb);
    FakeDevice *d = Device(dwDeviceID);
    if (!d)
        return kBadDeviceId;
    if (d->lCaps < 0)
        return d->lCaps;
    char szName[64];
    sprintf(szName, "Double Modem %lu", (unsigned long)dwDeviceID);
    DWORD cbName = (DWORD)strlen(szName) + 1;
    const DWORD cbFixed = 240;
    memset(p + 4, 0, cbFixed - 4);
    Put(p, cb, 4, cbFixed + cbName);
    Put(p, cb, 28, 0x1000 + dwDeviceID);
    Put(p, cb, 52, d->dwBearer);
    Put(p, cb, 60, d->dwMedia);
    if (cbFixed + cbName <= cb) {
        memcpy(p + cbFixed, szName, cbName);
        Put(p, cb, 8, cbFixed + cbName);
        Put(p, cb, 32, cbName);
        Put(p, cb, 36, cbFixed);
    } else {
        Put(p, cb, 8, cbFixed);
    }
    return d->lCaps;
}

LONG WINAPI lineOpen(HLINEAPP, DWORD dwDeviceID, HLINE *lphLine, DWORD dwAPIVersion, DWORD, DWORD_PTR,
                     DWORD dwPrivileges, DWORD dwMediaModes, void *)
{
    Log("lineOpen dev=%lu version=0x%lx privileges=0x%lx media=0x%lx", (unsigned long)dwDeviceID,
        (unsigned long)dwAPIVersion, (unsigned long)dwPrivileges, (unsigned long)dwMediaModes);
    FakeDevice *d = Device(dwDeviceID);
    if (!d)
        return kBadDeviceId;
    if (d->lOpen < 0)
        return d->lOpen;
    g_bOpen[dwDeviceID] = TRUE;
    *lphLine = kLineBase + dwDeviceID;
    return d->lOpen;
}

LONG WINAPI lineClose(HLINE hLine)
{
    Log("lineClose line=0x%lx", (unsigned long)hLine);
    DWORD dwDeviceID = hLine - kLineBase;
    if (hLine < kLineBase || dwDeviceID >= (DWORD)kMaxDevices || !g_bOpen[dwDeviceID])
        return kBadLine;
    g_bOpen[dwDeviceID] = FALSE;
    return 0;
}

LONG WINAPI lineGetID(HLINE hLine, DWORD dwAddressID, DWORD hCall, DWORD dwSelect, void *lpDeviceID,
                      LPCSTR lpszDeviceClass)
{
    BYTE *p = (BYTE *)lpDeviceID;
    DWORD cb = TotalSize(p);
    Log("lineGetID line=0x%lx address=%lu call=%lu select=%lu total=%lu class=%s", (unsigned long)hLine,
        (unsigned long)dwAddressID, (unsigned long)hCall, (unsigned long)dwSelect, (unsigned long)cb,
        lpszDeviceClass ? lpszDeviceClass : "(null)");
    DWORD dwDeviceID = hLine - kLineBase;
    if (hLine < kLineBase || dwDeviceID >= (DWORD)kMaxDevices || !g_bOpen[dwDeviceID])
        return kBadLine;
    FakeDevice *d = Device(dwDeviceID);
    if (d->lGetID < 0)
        return d->lGetID;
    // The identifier: a HANDLE, null since the line is asked about and not a call, then
    // the port name and its zero.
    const DWORD cbHandle = (DWORD)sizeof(HANDLE);
    DWORD cbString = cbHandle + (DWORD)strlen(d->szPort) + 1;
    Put(p, cb, 4, 24 + cbString);
    if (24 + cbString <= cb) {
        Put(p, cb, 8, 24 + cbString);
        Put(p, cb, 12, 4); // STRINGFORMAT_BINARY
        Put(p, cb, 16, cbString);
        Put(p, cb, 20, 24);
        HANDLE hPort = NULL;
        memcpy(p + 24, &hPort, cbHandle);
        memcpy(p + 24 + cbHandle, d->szPort, strlen(d->szPort) + 1);
        Log("lineGetID wrote handle_size=%lu string_size=%lu port=%s", (unsigned long)cbHandle,
            (unsigned long)cbString, d->szPort);
    } else {
        Log("lineGetID wrote no identifier: needed=%lu", (unsigned long)(24 + cbString));
        Put(p, cb, 8, 24);
        Put(p, cb, 16, 0);
        Put(p, cb, 20, 0);
    }
    if (g_bHostileId) {
        Log("lineGetID rewrote total=65536 used=65536 string_offset=5000 in a block of %lu", (unsigned long)cb);
        Put(p, cb, 0, 65536);
        Put(p, cb, 8, 65536);
        Put(p, cb, 20, 5000);
    }
    return d->lGetID;
}

LONG WINAPI lineGetDevConfig(DWORD dwDeviceID, void *lpDeviceConfig, LPCSTR lpszDeviceClass)
{
    BYTE *p = (BYTE *)lpDeviceConfig;
    DWORD cb = TotalSize(p);
    Log("lineGetDevConfig dev=%lu total=%lu class=%s", (unsigned long)dwDeviceID, (unsigned long)cb,
        lpszDeviceClass ? lpszDeviceClass : "(null)");
    FakeDevice *d = Device(dwDeviceID);
    if (!d)
        return kBadDeviceId;
    if (d->lConfig < 0)
        return d->lConfig;
    const DWORD cbConfig = 112;
    Put(p, cb, 4, 24 + cbConfig);
    if (24 + cbConfig <= cb) {
        Put(p, cb, 8, 24 + cbConfig);
        Put(p, cb, 12, 4);
        Put(p, cb, 16, cbConfig);
        Put(p, cb, 20, 24);
        Put(p, cb, 24, cbConfig);
        Put(p, cb, 28, 0x00010003);
        Put(p, cb, 36, 100);
        Put(p, cb, 44, 28);
        Put(p, cb, 48, d->dwBaud);
        Put(p, cb, 76, 52);
        Put(p, cb, 80, 48);
        Put(p, cb, 88, 48);
    } else {
        Put(p, cb, 8, 24);
        Put(p, cb, 16, 0);
    }
    return d->lConfig;
}

// Appends "loaded PATH" to tapi-loaded.log beside this DLL, if that file exists.
static void RecordLoad(void)
{
    char szSelf[MAX_PATH], szPath[MAX_PATH], szLine[MAX_PATH + 16];
    DWORD cch = GetModuleFileNameA(g_hInstance, szSelf, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return;
    BesideDll("tapi-loaded.log", szPath, MAX_PATH);
    HANDLE h = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    int n = snprintf(szLine, sizeof szLine, "loaded %s\n", szSelf);
    DWORD cbWritten;
    if (n > 0)
        WriteFile(h, szLine, (DWORD)n, &cbWritten, NULL);
    CloseHandle(h);
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hInstance = hInstance;
        RecordLoad();
    } else if (dwReason == DLL_PROCESS_DETACH) {
        free(g_pDevices);
    }
    return TRUE;
}

} // extern "C"
