// Loading, binding and registering with the telephony library, and releasing it again.
#include "telephony/TelephonyBinding.h"

#include "telephony/TapiLoader.h"

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
