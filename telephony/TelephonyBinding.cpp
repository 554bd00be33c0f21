// Loading, binding and registering with the telephony library, and releasing it again.
#include "telephony/TelephonyBinding.h"

#include <string.h>

static const char kTapiLibraryName[] = "TAPI32.DLL"; // loaded at run time, never linked
static const char kPathSeparator = '\\';
static const char kApplicationName[] = "TELVARAP";   // the name the service lists us under

PFN_LINECLOSE g_lpfnLineClose = NULL;
PFN_LINEGETDEVCAPS g_lpfnLineGetDevCaps = NULL;
PFN_LINEGETDEVCONFIG g_lpfnLineGetDevConfig = NULL;
PFN_LINEGETID g_lpfnLineGetID = NULL;
PFN_LINEINITIALIZE g_lpfnLineInitialize = NULL;
PFN_LINENEGOTIATEAPIVERSION g_lpfnLineNegotiateAPIVersion = NULL;
PFN_LINEOPEN g_lpfnLineOpen = NULL;
PFN_LINESHUTDOWN g_lpfnLineShutdown = NULL;

// GetProcAddress answers a generic function pointer; each entry point has its own type.
template <typename PFN>
static PFN LookUp(HMODULE hLibrary, const char *pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void *>(GetProcAddress(hLibrary, pszName)));
}

void CALLBACK LineEventCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                                DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3)
{
    (void)hDevice;
    (void)dwMessage;
    (void)dwInstance;
    (void)dwParam1;
    (void)dwParam2;
    (void)dwParam3;
}

// The system folder's TAPI32.DLL and no other. A bare name would be looked for in the
// setup program's own folder first, and a setup program is often run from a downloads
// folder where anyone may have left a TAPI32.DLL of their own; it would then run inside
// the installer's elevated process.
//
// LOAD_LIBRARY_SEARCH_SYSTEM32 looks in the system folder alone, for the library and for
// what it imports. A system that predates that flag refuses it with
// ERROR_INVALID_PARAMETER; only then is the same file loaded by its full path, with
// LOAD_WITH_ALTERED_SEARCH_PATH so that its own imports are looked for beside it first.
// Any other failure means that the flag was understood and the system folder holds no
// loadable TAPI32.DLL: the full path would name that same file, and no other place is
// tried.
HMODULE LoadSystemTapiLibrary(void)
{
    HMODULE hLibrary = LoadLibraryExA(kTapiLibraryName, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hLibrary != NULL || GetLastError() != ERROR_INVALID_PARAMETER)
        return hLibrary;

    char achPath[MAX_PATH];
    const UINT cchFolder = GetSystemDirectoryA(achPath, MAX_PATH);
    // 0: no folder; MAX_PATH or more: the size the folder needs, which it did not get.
    if (cchFolder == 0 || cchFolder >= MAX_PATH)
        return NULL;
    // The folder, one separator (unless it already ends in one), the name and a zero.
    const bool bSeparator = achPath[cchFolder - 1] != kPathSeparator;
    if (cchFolder + (bSeparator ? 1 : 0) + sizeof kTapiLibraryName > MAX_PATH)
        return NULL;
    char *pszEnd = achPath + cchFolder;
    if (bSeparator)
        *pszEnd++ = kPathSeparator;
    memcpy(pszEnd, kTapiLibraryName, sizeof kTapiLibraryName);
    return LoadLibraryExA(achPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int BindTelephony(TelephonySession *pSession)
{
    pSession->bRegistered = FALSE;
    pSession->hTAPILibrary = LoadSystemTapiLibrary();
    if (!pSession->hTAPILibrary)
        return 0;

    HMODULE hLibrary = pSession->hTAPILibrary;
    g_lpfnLineClose = LookUp<PFN_LINECLOSE>(hLibrary, "lineClose");
    g_lpfnLineGetDevCaps = LookUp<PFN_LINEGETDEVCAPS>(hLibrary, "lineGetDevCaps");
    g_lpfnLineGetDevConfig = LookUp<PFN_LINEGETDEVCONFIG>(hLibrary, "lineGetDevConfig");
    g_lpfnLineGetID = LookUp<PFN_LINEGETID>(hLibrary, "lineGetID");
    g_lpfnLineInitialize = LookUp<PFN_LINEINITIALIZE>(hLibrary, "lineInitialize");
    g_lpfnLineNegotiateAPIVersion = LookUp<PFN_LINENEGOTIATEAPIVERSION>(hLibrary, "lineNegotiateAPIVersion");
    g_lpfnLineOpen = LookUp<PFN_LINEOPEN>(hLibrary, "lineOpen");
    if (!g_lpfnLineClose || !g_lpfnLineGetDevCaps || !g_lpfnLineGetDevConfig || !g_lpfnLineGetID ||
        !g_lpfnLineInitialize || !g_lpfnLineNegotiateAPIVersion || !g_lpfnLineOpen) {
        UnbindTelephony(pSession);
        return 0;
    }
    // Looked up after the seven, and only if they are all there: a library without it
    // binds all the same, and the registration then ends with the library's release.
    g_lpfnLineShutdown = LookUp<PFN_LINESHUTDOWN>(hLibrary, "lineShutdown");

    pSession->lpfnCallback = LineEventCallback;
    // A service may report success without writing the handle or the count (Wine's
    // does): start both at 0 so that an unwritten count reads as no line device.
    pSession->hLineApp = 0;
    pSession->dwLineCount = 0;
    pSession->lTAPIErrorCode = g_lpfnLineInitialize(&pSession->hLineApp, NULL, LineEventCallback,
                                                    kApplicationName, &pSession->dwLineCount);
    if (pSession->lTAPIErrorCode < 0) {
        UnbindTelephony(pSession);
        return 0;
    }
    pSession->bRegistered = TRUE;
    if (pSession->dwLineCount == 0) {
        UnbindTelephony(pSession);
        return 0;
    }
    return 1;
}

void UnbindTelephony(TelephonySession *pSession)
{
    // The result of lineShutdown is not recorded: the session's error code keeps what
    // the query itself learned.
    if (pSession->hTAPILibrary && pSession->bRegistered && g_lpfnLineShutdown)
        g_lpfnLineShutdown(pSession->hLineApp);
    pSession->bRegistered = FALSE;
    if (pSession->hTAPILibrary) {
        FreeLibrary(pSession->hTAPILibrary);
        pSession->hTAPILibrary = NULL;
    }
    g_lpfnLineClose = NULL;
    g_lpfnLineGetDevCaps = NULL;
    g_lpfnLineGetDevConfig = NULL;
    g_lpfnLineGetID = NULL;
    g_lpfnLineInitialize = NULL;
    g_lpfnLineNegotiateAPIVersion = NULL;
    g_lpfnLineOpen = NULL;
    g_lpfnLineShutdown = NULL;
}
