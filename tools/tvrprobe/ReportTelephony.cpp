// The report's telephony lines: every line device of TAPI32.DLL (API version 1.3), its
// name, whether it is a data modem, and for a data modem its port and configured speed.
// These are the report's own TAPI calls, with TAPI32.DLL loaded by the library's loader
// and the blocks read by the library's bounded readers: when the DLL's answer and this
// list disagree, the list shows what the service said.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "telephony/TapiLoader.h"

#include "ReportParts.h"
#include "ReportText.h"

// TAPI's own handle types: 32-bit values in both builds.
typedef DWORD TAPI_HLINEAPP;
typedef DWORD TAPI_HLINE;
typedef void(CALLBACK *TAPI_LINECALLBACK)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR);

typedef LONG(WINAPI *PFN_LINEINITIALIZE)(TAPI_HLINEAPP *, HINSTANCE, TAPI_LINECALLBACK, LPCSTR, LPDWORD);
typedef LONG(WINAPI *PFN_LINESHUTDOWN)(TAPI_HLINEAPP);
typedef LONG(WINAPI *PFN_LINENEGOTIATEAPIVERSION)(TAPI_HLINEAPP, DWORD, DWORD, DWORD, LPDWORD, void *);
typedef LONG(WINAPI *PFN_LINEGETDEVCAPS)(TAPI_HLINEAPP, DWORD, DWORD, DWORD, void *);
typedef LONG(WINAPI *PFN_LINEOPEN)(TAPI_HLINEAPP, DWORD, TAPI_HLINE *, DWORD, DWORD, DWORD_PTR, DWORD, DWORD, void *);
typedef LONG(WINAPI *PFN_LINEGETID)(TAPI_HLINE, DWORD, DWORD, DWORD, void *, LPCSTR);
typedef LONG(WINAPI *PFN_LINECLOSE)(TAPI_HLINE);
typedef LONG(WINAPI *PFN_LINEGETDEVCONFIG)(DWORD, void *, LPCSTR);

static const DWORD kTapiVersion = 0x00010003;      // TAPI 1.3: the version telvarid.dll asks for
static const DWORD kPrivilegesNone = 0x00000001;   // LINECALLPRIVILEGE_NONE: open only to ask
static const DWORD kSelectLine = 0x00000001;       // LINECALLSELECT_LINE: the line, not a call
static const char kDataModemClass[] = "comm/datamodem";
static const DWORD kFirstBlockSize = 1024;         // room for any usual answer at the first try
static const DWORD kLargestBlockSize = 64 * 1024;  // a service that asks for more is not believed

struct TapiFunctions {
    PFN_LINEINITIALIZE pfnInitialize;
    PFN_LINESHUTDOWN pfnShutdown;
    PFN_LINENEGOTIATEAPIVERSION pfnNegotiate;
    PFN_LINEGETDEVCAPS pfnGetDevCaps;
    PFN_LINEOPEN pfnOpen;
    PFN_LINEGETID pfnGetID;
    PFN_LINECLOSE pfnClose;
    PFN_LINEGETDEVCONFIG pfnGetDevConfig;
};

static void CALLBACK IgnoreLineEvent(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// Binds one function; names the first one missing.
static bool BindTapi(HMODULE hTapi, const char *pszName, FARPROC *ppfn, const char **ppszMissing)
{
    *ppfn = GetProcAddress(hTapi, pszName);
    if (!*ppfn && !*ppszMissing)
        *ppszMissing = pszName;
    return *ppfn != NULL;
}

template <typename T> static void BindTapiAs(HMODULE hTapi, const char *pszName, T *ppfn, const char **ppszMissing)
{
    FARPROC pfn = NULL;
    BindTapi(hTapi, pszName, &pfn, ppszMissing);
    *ppfn = reinterpret_cast<T>(reinterpret_cast<void *>(pfn));
}

// A telephony block of the given size with its dwTotalSize set.
static BYTE *NewTapiBlock(DWORD cb)
{
    BYTE *pBlock = static_cast<BYTE *>(calloc(1, cb));
    if (pBlock)
        memcpy(pBlock, &cb, sizeof cb);
    return pBlock;
}

// Calls pfnAsk with a fresh block, and once more with a larger one if the service says it
// needs more room. Returns the block (the caller frees it), the size it was allocated with
// in *pcbBlock (the only size its readers trust: dwTotalSize lies inside the block, where
// the service may have rewritten it) and the call's result.
template <typename Ask> static BYTE *AskWithBlock(Ask ask, DWORD *pcbBlock, LONG *plResult)
{
    *pcbBlock = 0;
    BYTE *pBlock = NewTapiBlock(kFirstBlockSize);
    if (!pBlock) {
        *plResult = -1;
        return NULL;
    }
    *pcbBlock = kFirstBlockSize;
    *plResult = ask(pBlock);
    DWORD cbNeeded = *plResult >= 0 ? ReportRegrowSize(pBlock, kFirstBlockSize, kLargestBlockSize) : 0;
    if (cbNeeded) {
        free(pBlock);
        *pcbBlock = 0;
        pBlock = NewTapiBlock(cbNeeded);
        if (!pBlock) {
            *plResult = -1;
            return NULL;
        }
        *pcbBlock = cbNeeded;
        *plResult = ask(pBlock);
    }
    return pBlock;
}

// "port COM3" or why the port is unknown.
static void DescribeModemPort(const TapiFunctions *pTapi, TAPI_HLINEAPP hLineApp, DWORD dwDevice, char *pszOut,
                              size_t cchOut)
{
    TAPI_HLINE hLine = 0;
    LONG lResult = pTapi->pfnOpen(hLineApp, dwDevice, &hLine, kTapiVersion, 0, 0, kPrivilegesNone,
                                  kMediaModeDataModem, NULL);
    if (lResult < 0) {
        snprintf(pszOut, cchOut, "port unknown (lineOpen failed, 0x%08lX)", (unsigned long)lResult);
        return;
    }
    DWORD cbId = 0;
    BYTE *pId = AskWithBlock(
        [&](BYTE *pBlock) { return pTapi->pfnGetID(hLine, 0, 0, kSelectLine, pBlock, kDataModemClass); }, &cbId,
        &lResult);
    pTapi->pfnClose(hLine);
    // The identifier's handle is left alone, as the DLL leaves it: with the line selected
    // it is NULL, and a handle value the report did not open is not the report's to close.
    char szPort[PORTNAME_BUFFERSIZE];
    if (lResult < 0 || !pId)
        snprintf(pszOut, cchOut, "port unknown (lineGetID failed, 0x%08lX)", (unsigned long)lResult);
    else if (!ReadModemPortName(pId, cbId, sizeof(HANDLE), szPort))
        snprintf(pszOut, cchOut, "port unknown (no port name in the identifier)");
    else
        snprintf(pszOut, cchOut, "port %s", szPort);
    free(pId);
}

// "configured for 19200 bit/s" or why the speed is unknown.
static void DescribeModemSpeed(const TapiFunctions *pTapi, DWORD dwDevice, char *pszOut, size_t cchOut)
{
    LONG lResult = 0;
    DWORD cbConfig = 0;
    BYTE *pConfig = AskWithBlock(
        [&](BYTE *pBlock) { return pTapi->pfnGetDevConfig(dwDevice, pBlock, kDataModemClass); }, &cbConfig,
        &lResult);
    DWORD dwSpeed = 0;
    if (lResult < 0 || !pConfig)
        snprintf(pszOut, cchOut, "speed unknown (lineGetDevConfig failed, 0x%08lX)", (unsigned long)lResult);
    else if ((dwSpeed = ReadConfiguredSpeed(pConfig, cbConfig)) == 0)
        snprintf(pszOut, cchOut, "speed unknown (no configuration came back)");
    else
        snprintf(pszOut, cchOut, "configured for %lu bit/s", (unsigned long)dwSpeed);
    free(pConfig);
}

static void ReportLineDevice(const TapiFunctions *pTapi, TAPI_HLINEAPP hLineApp, DWORD dwDevice)
{
    DWORD dwVersion = 0;
    BYTE rgbExtensionId[16];
    LONG lResult = pTapi->pfnNegotiate(hLineApp, dwDevice, kTapiVersion, kTapiVersion, &dwVersion, rgbExtensionId);
    if (lResult < 0) {
        printf("  line %lu  does not offer telephony API version 1.3 (0x%08lX)\n", (unsigned long)dwDevice,
               (unsigned long)lResult);
        return;
    }
    DWORD cbCaps = 0;
    BYTE *pCaps = AskWithBlock(
        [&](BYTE *pBlock) { return pTapi->pfnGetDevCaps(hLineApp, dwDevice, dwVersion, 0, pBlock); }, &cbCaps,
        &lResult);
    LineCapsView caps;
    if (lResult < 0 || !pCaps || !ReadLineCaps(pCaps, cbCaps, &caps)) {
        printf("  line %lu  lineGetDevCaps failed (0x%08lX)\n", (unsigned long)dwDevice, (unsigned long)lResult);
        free(pCaps);
        return;
    }
    free(pCaps);
    if (!caps.bDataModem) {
        printf("  line %lu  \"%s\"  not a data modem (bearer modes 0x%lX, media modes 0x%lX)\n",
               (unsigned long)dwDevice, caps.szName, (unsigned long)caps.dwBearerModes,
               (unsigned long)caps.dwMediaModes);
        return;
    }
    char szPort[300];
    char szSpeed[100];
    DescribeModemPort(pTapi, hLineApp, dwDevice, szPort, sizeof szPort);
    DescribeModemSpeed(pTapi, dwDevice, szSpeed, sizeof szSpeed);
    printf("  line %lu  \"%s\"  data modem, %s, %s\n", (unsigned long)dwDevice, caps.szName, szPort, szSpeed);
}

void ReportTelephony(void)
{
    // The library's own loader: TAPI32.DLL from the system folder only, never from the
    // program's folder, where a planted copy could stand.
    HMODULE hTapi = LoadSystemTapiLibrary();
    if (!hTapi) {
        printf("Telephony: TAPI32.DLL could not be loaded (error %lu).\n", (unsigned long)GetLastError());
        return;
    }
    TapiFunctions tapi;
    const char *pszMissing = NULL;
    BindTapiAs(hTapi, "lineInitialize", &tapi.pfnInitialize, &pszMissing);
    BindTapiAs(hTapi, "lineShutdown", &tapi.pfnShutdown, &pszMissing);
    BindTapiAs(hTapi, "lineNegotiateAPIVersion", &tapi.pfnNegotiate, &pszMissing);
    BindTapiAs(hTapi, "lineGetDevCaps", &tapi.pfnGetDevCaps, &pszMissing);
    BindTapiAs(hTapi, "lineOpen", &tapi.pfnOpen, &pszMissing);
    BindTapiAs(hTapi, "lineGetID", &tapi.pfnGetID, &pszMissing);
    BindTapiAs(hTapi, "lineClose", &tapi.pfnClose, &pszMissing);
    BindTapiAs(hTapi, "lineGetDevConfig", &tapi.pfnGetDevConfig, &pszMissing);
    if (pszMissing) {
        printf("Telephony: TAPI32.DLL lacks %s.\n", pszMissing);
        FreeLibrary(hTapi);
        return;
    }
    TAPI_HLINEAPP hLineApp = 0;
    DWORD dwDevices = 0;
    LONG lResult = tapi.pfnInitialize(&hLineApp, GetModuleHandleA(NULL), IgnoreLineEvent, "tvrprobe", &dwDevices);
    if (lResult < 0) {
        printf("Telephony: lineInitialize failed (0x%08lX).\n", (unsigned long)lResult);
        FreeLibrary(hTapi);
        return;
    }
    printf("Telephony line devices (TAPI32.DLL, API version 1.3): %lu\n", (unsigned long)dwDevices);
    for (DWORD dwDevice = 0; dwDevice < dwDevices; ++dwDevice) {
        ReportLineDevice(&tapi, hLineApp, dwDevice);
        fflush(stdout);
    }
    tapi.pfnShutdown(hLineApp);
    FreeLibrary(hTapi);
}
