// "report": one page for a support person on the customer's machine. It looks at the
// machine by itself first, then asks telvarid.dll the same questions, so that the two
// views can be set side by side:
//
//   the head         versions, Windows's version, the date and time, the DLL's full path
//                    and architecture, and in plain words why the DLL could not be loaded
//   serial ports     COM1..COM4 and every other port Windows lists (the SERIALCOMM key
//                    of HKLM\HARDWARE\DEVICEMAP), each opened and probed as the modem scan does it (2400
//                    bit/s 8N1, "ATE0V1" then "AT", one read of up to 128 bytes): missing,
//                    held by another program, silent, or answering and what it answered
//   telephony        every line device of TAPI32.DLL (API version 1.3): its name, whether
//                    it is a data modem, and for a data modem its port and configured speed
//   the exports      TVRScanForModem, TVRModemAvailable, TVRCheckCommParams (the port
//                    the scan found, else the one telephony named; 9600 bit/s, "AT"),
//                    TVRInitTextDialog (on a dialog that is never shown)
//
// The probe and the telephony query here are this program's own Win32 and TAPI calls:
// when the DLL's answer and the table disagree, the table shows what the machine said.
// Exit code 0 when the DLL found a modem by either route (the scan or the telephony
// service), 1 when neither did, 3 when the DLL could not be loaded (the ports and the
// telephony lines are still reported).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "telephony/TapiLoader.h"

#include "MessageDialogTemplate.h"
#include "ReportText.h"
#include "VersionText.h"
#include "Verbs.h"

// ---- Serial ports --------------------------------------------------------------------

static const int kFirstPort = 1;                 // the ports the scan tries: COM1..COM4
static const int kLastPort = 4;
static const DWORD kProbeBaudRate = 2400;        // the scan's speed, which every Hayes modem takes
static const DWORD kQueueSize = 80;              // the scan's driver queues, in and out
static const DWORD kReplySize = 128;             // the scan reads at most this much
static const DWORD kDrainLimitMs = 1000;         // a device that never falls silent stops the drain here
static const DWORD kPurgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
// The scan's time-outs: a one-byte read gives up after 550 ms of silence, the reply read
// 500 ms after the last byte or 6.9 s after it began; a write may take 10 ms a byte plus
// a second.
static const COMMTIMEOUTS kProbeTimeouts = {500, 50, 500, 10, 1000};

struct PortFinding {
    DWORD dwOpenError;        // 0 when the port opened
    const char *pszFailedStep; // the first step after the open that failed, or NULL
    DWORD dwStepError;
    unsigned char rgbReply[kReplySize];
    DWORD cbReply;
};

static void DrainInput(HANDLE hPort)
{
    PurgeComm(hPort, kPurgeInput);
    DWORD dwStart = GetTickCount();
    for (;;) {
        char chDiscard;
        DWORD cbRead = 0;
        ReadFile(hPort, &chDiscard, 1, &cbRead, NULL);
        if (cbRead == 0 || GetTickCount() - dwStart >= kDrainLimitMs)
            return;
    }
}

// Records the step that failed and its error; always returns false.
static bool StepFailed(PortFinding *pFinding, const char *pszStep)
{
    pFinding->pszFailedStep = pszStep;
    pFinding->dwStepError = GetLastError();
    return false;
}

static bool SendLine(HANDLE hPort, const char *pszLine, PortFinding *pFinding)
{
    DWORD cbWritten = 0;
    if (!WriteFile(hPort, pszLine, (DWORD)strlen(pszLine), &cbWritten, NULL))
        return StepFailed(pFinding, "WriteFile");
    return true;
}

// The scan's dialogue on an open port: line settings, time-outs, queues, drain,
// "ATE0V1", drain, "AT", one read.
static bool RunProbeDialogue(HANDLE hPort, PortFinding *pFinding)
{
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(hPort, &dcb))
        return StepFailed(pFinding, "GetCommState");
    dcb.BaudRate = kProbeBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(hPort, &dcb))
        return StepFailed(pFinding, "SetCommState");
    COMMTIMEOUTS timeouts = kProbeTimeouts;
    if (!SetCommTimeouts(hPort, &timeouts))
        return StepFailed(pFinding, "SetCommTimeouts");
    if (!SetupComm(hPort, kQueueSize, kQueueSize))
        return StepFailed(pFinding, "SetupComm");
    DrainInput(hPort);
    if (!SendLine(hPort, "ATE0V1\r", pFinding))
        return false;
    DrainInput(hPort);
    if (!SendLine(hPort, "AT\r", pFinding))
        return false;
    if (!ReadFile(hPort, pFinding->rgbReply, kReplySize, &pFinding->cbReply, NULL))
        return StepFailed(pFinding, "ReadFile");
    return true;
}

static void ProbePort(int nPort, PortFinding *pFinding)
{
    memset(pFinding, 0, sizeof *pFinding);
    char szName[16];
    ComOpenName(nPort, szName, sizeof szName);
    HANDLE hPort = CreateFileA(szName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (hPort == INVALID_HANDLE_VALUE) {
        pFinding->dwOpenError = GetLastError();
        return;
    }
    RunProbeDialogue(hPort, pFinding);
    CloseHandle(hPort);
}

static void PrintPortLine(int nPort, const PortFinding *pFinding)
{
    printf("  COM%d  ", nPort);
    if (pFinding->dwOpenError != 0) {
        switch (JudgeOpenError(pFinding->dwOpenError)) {
        case kPortMissing:
            printf("missing\n");
            break;
        case kPortHeld:
            printf("held by another program (error %lu)\n", (unsigned long)pFinding->dwOpenError);
            break;
        default:
            printf("can't be opened (error %lu)\n", (unsigned long)pFinding->dwOpenError);
            break;
        }
        return;
    }
    if (pFinding->pszFailedStep && pFinding->cbReply == 0) {
        printf("can't be probed: it opened, but %s failed (error %lu)\n", pFinding->pszFailedStep,
               (unsigned long)pFinding->dwStepError);
        return;
    }
    if (pFinding->cbReply == 0) {
        printf("silent: opened, nothing came back to \"AT\"\n");
        return;
    }
    char szReply[kReplySize * 4 + 1];
    EscapeReply(pFinding->rgbReply, pFinding->cbReply, szReply, sizeof szReply);
    switch (JudgeReplyAsScan(pFinding->rgbReply, pFinding->cbReply)) {
    case kScanSeesNothing:
        printf("answering: \"%s\" (it starts with a zero byte, which the scan counts as silence)\n", szReply);
        break;
    case kScanSeesBareOk:
        printf("answering: \"%s\" (a bare \"OK\", which the scan counts as silence)\n", szReply);
        break;
    default:
        printf("answering: \"%s\"\n", szReply);
        break;
    }
}

static const int kLargestPort = 255;

// Marks in rgbKnown[1..255] every "COMn" that Windows lists under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (one value per serial device, its data
// the port's name). Returns how many it marked.
static int ListSerialCommPorts(bool *rgbKnown)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &hKey) !=
        ERROR_SUCCESS)
        return 0;
    int nListed = 0;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szValueName[256];
        DWORD cchValueName = sizeof szValueName;
        char szData[32];
        DWORD cbData = sizeof szData - 1;
        DWORD dwType = 0;
        LONG lResult = RegEnumValueA(hKey, dwIndex, szValueName, &cchValueName, NULL, &dwType,
                                     reinterpret_cast<BYTE *>(szData), &cbData);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS || dwType != REG_SZ)
            continue; // a name too long for a port, or not a string: not a COM port
        szData[cbData < sizeof szData ? cbData : sizeof szData - 1] = 0;
        const int nPort = ComPortNumber(szData);
        if (nPort && !rgbKnown[nPort]) {
            rgbKnown[nPort] = true;
            ++nListed;
        }
    }
    RegCloseKey(hKey);
    return nListed;
}

// COM1 to COM4, which the scan tries, and every other port Windows knows, each probed the
// same way. Says which answering ports the scan never looks at.
static void ReportSerialPorts(void)
{
    bool rgbKnown[kLargestPort + 1];
    memset(rgbKnown, 0, sizeof rgbKnown);
    ListSerialCommPorts(rgbKnown);
    for (int nPort = kFirstPort; nPort <= kLastPort; ++nPort)
        rgbKnown[nPort] = true;
    printf("Serial ports: COM1 to COM4 (the ports the modem scan tries) and every other port Windows lists "
           "(HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM), each probed as the modem scan does "
           "(2400 bit/s 8N1, \"ATE0V1\" then \"AT\"; a port with nothing attached takes about 8 seconds):\n");
    fflush(stdout);
    int rgnUnseen[kLargestPort + 1];
    int cUnseen = 0;
    for (int nPort = 1; nPort <= kLargestPort; ++nPort) {
        if (!rgbKnown[nPort])
            continue;
        PortFinding finding;
        ProbePort(nPort, &finding);
        PrintPortLine(nPort, &finding);
        if ((nPort < kFirstPort || nPort > kLastPort) && finding.dwOpenError == 0 &&
            JudgeReplyAsScan(finding.rgbReply, finding.cbReply) == kScanSeesAnswer)
            rgnUnseen[cUnseen++] = nPort;
        fflush(stdout);
    }
    for (int i = 0; i < cUnseen; ++i)
        printf("  Note: a modem answers on COM%d, but the scan looks only at COM1 to COM4.\n", rgnUnseen[i]);
}

// ---- Telephony ------------------------------------------------------------------------

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

static void ReportTelephony(void)
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

// ---- The exports ------------------------------------------------------------------------

static const DWORD kCheckBaudRate = 9600;  // the speed a setup program usually asks for
static const char kCheckCommand[] = "AT";  // the attention command every Hayes modem answers

static INT_PTR CALLBACK HiddenDialogProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

// Lays out a hidden message dialog and says what came of it. The geometry depends on the
// machine's fonts, so it gets a line of its own.
static void ReportTextDialog(const TelvaridApi *pApi)
{
    MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), HiddenDialogProc, 0);
    if (!hDlg) {
        printf("  TVRInitTextDialog   not called: no dialog could be created here (error %lu)\n",
               (unsigned long)GetLastError());
        return;
    }
    pApi->pfnInitTextDialog(hDlg, "This message dialog was laid out by telvarid.dll for tvrprobe's report.", 0, 2,
                            IDOK);
    const bool bIcon = SendDlgItemMessageA(hDlg, 200, STM_GETICON, 0, 0) != 0;
    RECT rText, rOk, rCancel, rDialog;
    GetWindowRect(GetDlgItem(hDlg, 201), &rText);
    GetWindowRect(GetDlgItem(hDlg, IDOK), &rOk);
    GetWindowRect(GetDlgItem(hDlg, IDCANCEL), &rCancel);
    GetWindowRect(hDlg, &rDialog);
    const bool bRow = rOk.top >= rText.bottom && rOk.top == rCancel.top && rOk.right <= rCancel.left;
    const bool bFocus = GetFocus() == GetDlgItem(hDlg, IDOK);
    printf("  TVRInitTextDialog   %s, %s, %s\n", bIcon ? "icon set" : "no icon set",
           bRow ? "two buttons in a row under the text" : "buttons not in a row under the text",
           bFocus ? "focus on button 1" : "focus not on button 1");
    printf("                      text %ld x %ld, dialog %ld x %ld pixels (hidden, never shown)\n",
           (long)(rText.right - rText.left), (long)(rText.bottom - rText.top), (long)(rDialog.right - rDialog.left),
           (long)(rDialog.bottom - rDialog.top));
    DestroyWindow(hDlg);
}

// ---- The head ---------------------------------------------------------------------------

typedef LONG(WINAPI *PFN_RTLGETVERSION)(OSVERSIONINFOW *);

// The version Windows itself reports (RtlGetVersion, which no compatibility shim lowers).
static void PrintWindowsVersion(void)
{
    OSVERSIONINFOW info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    PFN_RTLGETVERSION pfnGetVersion = hNtdll ? reinterpret_cast<PFN_RTLGETVERSION>(reinterpret_cast<void *>(
                                                   GetProcAddress(hNtdll, "RtlGetVersion")))
                                             : NULL;
    if (pfnGetVersion && pfnGetVersion(&info) == 0)
        printf("Windows: version %lu.%lu, build %lu\n", (unsigned long)info.dwMajorVersion,
               (unsigned long)info.dwMinorVersion, (unsigned long)info.dwBuildNumber);
    else
        printf("Windows: version unknown\n");
}

// The machine type of the PE file at pszPath; 0 when it can't be read or is not one.
static uint16_t ReadFileMachine(const char *pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    static BYTE rgbHead[4096];
    DWORD cbRead = 0;
    if (!ReadFile(hFile, rgbHead, sizeof rgbHead, &cbRead, NULL))
        cbRead = 0;
    CloseHandle(hFile);
    return ReadPeMachine(rgbHead, cbRead);
}

// The system's words for an error, on one line without its final full stop.
static void ErrorText(DWORD dwError, char *pszOut, DWORD cchOut)
{
    pszOut[0] = 0;
    if (dwError == ERROR_BAD_EXE_FORMAT) {
        // Windows words it "%1 is not a valid Win32 application."
        snprintf(pszOut, cchOut, "not a valid Win32 application");
        return;
    }
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, dwError, 0, pszOut,
                               cchOut, NULL);
    while (cch > 0 && (pszOut[cch - 1] == '\r' || pszOut[cch - 1] == '\n' || pszOut[cch - 1] == '.' ||
                       pszOut[cch - 1] == ' '))
        pszOut[--cch] = 0;
}

// The report's head: versions, the Windows version, the date and time, the DLL's full path
// and architecture, and why it could not be loaded when it could not.
static void ReportHead(const TelvaridApi *pApi)
{
    char szPath[MAX_PATH];
    if (!pApi->hModule || !GetModuleFileNameA(pApi->hModule, szPath, MAX_PATH))
        TelvaridBesideProgram(szPath, MAX_PATH);
    char szVersion[64];
    if (!ReadFileVersionText(szPath, szVersion, sizeof szVersion))
        snprintf(szVersion, sizeof szVersion, "without a version resource");
    printf("telvarid report: tvrprobe %s (%s), telvarid.dll %s\n", TVR_VERSION_TEXT, ProbeBitness(), szVersion);
    PrintWindowsVersion();
    SYSTEMTIME now;
    GetLocalTime(&now);
    printf("Date: %04u-%02u-%02u %02u:%02u:%02u (local time)\n", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
    const uint16_t wOwnMachine = sizeof(void *) == 8 ? kMachineAmd64 : kMachineI386;
    const uint16_t wDllMachine = ReadFileMachine(szPath);
    if (GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES)
        printf("telvarid.dll: missing (looked for %s)\n", szPath);
    else
        printf("telvarid.dll: %s, %s\n", szPath, wDllMachine ? MachineText(wDllMachine) : "not a program file");
    if (!pApi->hModule) {
        char szError[256];
        ErrorText(pApi->dwLoadError, szError, sizeof szError);
        printf("telvarid.dll could not be loaded (error %lu, %s).\n", (unsigned long)pApi->dwLoadError, szError);
        if (wDllMachine && wDllMachine != wOwnMachine)
            printf("It is the %s build, and this tvrprobe.exe is the %s build: put the telvarid.dll of the %s "
                   "folder beside it, or run the tvrprobe.exe of the %s folder.\n",
                   MachineText(wDllMachine), MachineText(wOwnMachine), wOwnMachine == kMachineAmd64 ? "x64" : "x86",
                   wDllMachine == kMachineAmd64 ? "x64" : "x86");
        printf("The ports and the telephony lines follow; the answers of telvarid.dll can't be shown.\n");
    }
    printf("\n");
}

static int RunReport(const TelvaridApi *pApi, int argc, char **)
{
    if (argc != 0) {
        fprintf(stderr, "usage: tvrprobe report\n");
        return 2;
    }
    ReportHead(pApi);
    fflush(stdout);

    ReportSerialPorts();
    printf("\n");
    ReportTelephony();
    if (!pApi->hModule) {
        printf("\nResult: unknown: telvarid.dll could not be loaded (error %lu).\n", (unsigned long)pApi->dwLoadError);
        return 3;
    }
    printf("\nAnswers of telvarid.dll:\n");
    fflush(stdout);

    int nPort = 0;
    const int nScan = pApi->pfnScanForModem(&nPort);
    if (nScan)
        printf("  TVRScanForModem     1: a modem answers on COM%d\n", nPort);
    else
        printf("  TVRScanForModem     0: no modem answered on COM1 to COM4\n");
    fflush(stdout);

    char szModemPort[76]; // the export writes at most 75 characters and a zero
    memset(szModemPort, 0, sizeof szModemPort);
    const int nModem = pApi->pfnModemAvailable(szModemPort);
    char szLastPort[120];
    if (szModemPort[0])
        snprintf(szLastPort, sizeof szLastPort, "last port name reported: %s", szModemPort);
    else
        snprintf(szLastPort, sizeof szLastPort, "no port name reported");
    if (nModem == 2)
        printf("  TVRModemAvailable   2: a data modem set up for 9600 bit/s or more; %s\n", szLastPort);
    else if (nModem == 1)
        printf("  TVRModemAvailable   1: data modems listed, none set up for 9600 bit/s or more; %s\n", szLastPort);
    else
        printf("  TVRModemAvailable   0: telephony can't be used here, or it lists no data modem\n");

    // The port to check: the one the scan found, else the one telephony named.
    char szCheckPort[80];
    szCheckPort[0] = 0;
    if (nScan)
        snprintf(szCheckPort, sizeof szCheckPort, "COM%d", nPort);
    else if (nModem && szModemPort[0])
        snprintf(szCheckPort, sizeof szCheckPort, "%s", szModemPort);
    if (szCheckPort[0]) {
        fflush(stdout);
        const int nCheck = pApi->pfnCheckCommParams(szCheckPort, kCheckBaudRate, TRUE, kCheckCommand);
        if (nCheck)
            printf("  TVRCheckCommParams  1: %s takes %lu bit/s and its device answered \"%s\" (or another program "
                   "holds %s)\n",
                   szCheckPort, (unsigned long)kCheckBaudRate, kCheckCommand, szCheckPort);
        else
            printf("  TVRCheckCommParams  0: %s does not take %lu bit/s, or its device did not answer \"%s\" "
                   "within 3 seconds\n",
                   szCheckPort, (unsigned long)kCheckBaudRate, kCheckCommand);
    } else {
        printf("  TVRCheckCommParams  not called: neither the scan nor telephony named a port\n");
    }
    ReportTextDialog(pApi);

    printf("\n");
    if (nScan && nModem)
        printf("Result: a modem was found, on COM%d by the scan and by the telephony service.\n", nPort);
    else if (nScan)
        printf("Result: a modem was found, on COM%d by the scan; the telephony service lists none.\n", nPort);
    else if (nModem)
        printf("Result: a modem was found by the telephony service; none answered the scan on COM1 to COM4.\n");
    else
        printf("Result: no modem was found, neither on COM1 to COM4 nor through the telephony service.\n");
    return nScan || nModem ? 0 : 1;
}

TVR_PROBE_VERB_WITHOUT_DLL(report, "report", "",
                           "a report for support: COM1-COM4 and every other serial port Windows lists, probed one by "
                           "one, the telephony line devices, and the answers of all four exports; exit code 0 when a "
                           "modem was found, 1 when none was, 3 when telvarid.dll could not be loaded",
                           RunReport);
