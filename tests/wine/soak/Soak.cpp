// tvrsoak: long use of telvarid.dll in one process, as a setup program that calls the
// exports thousands of times, or loads and unloads the DLL in a loop, would use it.
// Before and after each block of calls it reads the process's handle count, its GDI and
// USER object counts, its private bytes and the bytes in use on its heaps, prints them side by side, and fails when
// one grew beyond its tolerance. After every telephony call it checks that TAPI32.DLL is
// no longer loaded, and it checks every call's answer.
//
//   tvrsoak [--divide N] [--tolerance-kb K]
//
// The blocks, in order (counts divided by N; CI runs a tenth):
//   scan, no ports             10000  TVRScanForModem: 0 and port 0
//   check, missing port        10000  TVRCheckCommParams("COM1"): 0
//   modem, telephony double    10000  TVRModemAvailable: 1 (the double in the system
//                                     folder, where the library loads TAPI32.DLL from)
//   dialogs                     1000  created, laid out by TVRInitTextDialog, destroyed
//   one dialog laid out again   1000  the same dialog laid out anew each time: what a
//                                     call leaves behind outlives it here, where the
//                                     dialog's destruction would otherwise clean it up
//   find, no owner              1000  TVRFindModem without a window, no ports: 0 and port
//                                     0 (four probe threads started and joined per call)
//   load and free               1000  LoadLibrary, one call of each export, FreeLibrary
//   modem, Wine's TAPI32        1000  TVRModemAvailable: 0 (the double moved aside and
//                                     tapi32.dll.wine, Wine's own file, put in its place)
//   scan, answering modem        100  TVRScanForModem: 1 and port 3
//   find, window, Cancel         200  TVRFindModem with an owner window, cancelled by a
//                                     click on its Cancel 300 ms in (before the modem on
//                                     COM3 has answered): -1 and port 0
// Before the last block it writes soak-wants-modem beside itself and waits for
// soak-modem-ready: the suite then starts the modem emulator on COM3.
#include <windows.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tools/tvrprobe/MessageDialogTemplate.h"
#include "tools/tvrprobe/TelvaridLoader.h"

// Tolerances: what a block may add without counting as a leak. A handful of objects
// and a little memory that Wine's own caches take once are allowed; a leak of one per
// call is thousands.
static const long kHandleTolerance = 2;
static const long kGdiTolerance = 2;
static const long kUserTolerance = 2;
static const long kDefaultPrivateToleranceKb = 256;
// Heap bytes in use are exact to the byte, so this tolerance is tight: what Wine itself
// keeps on the heap now and then, far below a leak of a few bytes per call.
static const long kHeapToleranceBytes = 4096;

static const DWORD kModemWaitMs = 60000; // for the suite to start the emulator
static const char kMessage[] = "No modem answered on COM1 to COM4.\nConnect the modem and choose Retry.";

// ---- Measuring the process ----------------------------------------------------------

struct Counts {
    long lHandles;
    long lGdi;
    long lUser;
    long lPrivateKb;
    long lHeapBytes;
};

// Handles: GetProcessHandleCount where it is implemented; otherwise (Wine answers 0) the
// handle values are probed in order, as a process's handles are handed out lowest
// first, until a long run of values is free.
static long CountHandles(void)
{
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount > 0)
        return static_cast<long>(dwCount);
    long lCount = 0;
    int nFreeRun = 0;
    for (ULONG_PTR uValue = 4; nFreeRun < 2048; uValue += 4) {
        DWORD dwFlags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(uValue), &dwFlags)) {
            ++lCount;
            nFreeRun = 0;
        } else {
            ++nFreeRun;
        }
    }
    return lCount;
}

// Wine's GDI handle table, which the process environment block points to (the
// GdiSharedHandleTable field): 65536 entries of 24 bytes; an entry in use has a type.
struct WineGdiEntry {
    unsigned long long qwObject;
    ULONG ulOwner;
    USHORT wUnique;
    UCHAR bType;
    UCHAR bFlags;
    unsigned long long qwUserPointer;
};
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI handle entry is 24 bytes");

// MinGW's NtCurrentTeb reads the segment register through an array of size 0, which
// GCC's bounds warning takes for an overrun.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
static const BYTE *ProcessEnvironmentBlock(void)
{
    return reinterpret_cast<const BYTE *>(NtCurrentTeb()->ProcessEnvironmentBlock);
}
#pragma GCC diagnostic pop

static long CountGdiObjectsInWineTable(void)
{
    const BYTE *pPeb = ProcessEnvironmentBlock();
    // Offset of GdiSharedHandleTable in the process environment block.
    const size_t cbOffset = sizeof(void *) == 8 ? 0xF8 : 0x94;
    const WineGdiEntry *pTable = *reinterpret_cast<const WineGdiEntry *const *>(pPeb + cbOffset);
    if (!pTable)
        return -1;
    long lCount = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (pTable[i].bType != 0)
            ++lCount;
    return lCount;
}

// GDI objects: GetGuiResources where it is implemented, Wine's handle table otherwise.
static long CountGdiObjects(void)
{
    SetLastError(0);
    DWORD dw = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (dw == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        return CountGdiObjectsInWineTable();
    return static_cast<long>(dw);
}

static BOOL CALLBACK CountOwnWindow(HWND hWnd, LPARAM lParam)
{
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hWnd, &dwProcess);
    if (dwProcess == GetCurrentProcessId())
        ++*reinterpret_cast<long *>(lParam);
    EnumChildWindows(hWnd, CountOwnWindow, lParam);
    return TRUE;
}

// USER objects: GetGuiResources where it is implemented; otherwise the windows this
// process owns, the USER objects a dialog layout could leave behind.
static long CountUserObjects(void)
{
    SetLastError(0);
    DWORD dw = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (dw != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return static_cast<long>(dw);
    long lCount = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&lCount));
    return lCount;
}

// Private bytes: the committed private memory of the address space.
static long CountPrivateKb(void)
{
    unsigned long long qwBytes = 0;
    MEMORY_BASIC_INFORMATION mbi;
    const BYTE *p = NULL;
    while (VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            qwBytes += mbi.RegionSize;
        const BYTE *pNext = static_cast<const BYTE *>(mbi.BaseAddress) + mbi.RegionSize;
        if (pNext <= p)
            break;
        p = pNext;
    }
    return static_cast<long>(qwBytes / 1024);
}

// Heap bytes in use: the busy blocks of every heap of the process (the C runtime's
// malloc included), walked entry by entry. Exact where private bytes move by pages.
static long CountHeapBytes(void)
{
    HANDLE ahHeaps[64];
    DWORD cHeaps = GetProcessHeaps(64, ahHeaps);
    if (cHeaps > 64)
        cHeaps = 64;
    unsigned long long qwBusy = 0;
    for (DWORD i = 0; i < cHeaps; ++i) {
        if (!HeapLock(ahHeaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        while (HeapWalk(ahHeaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                qwBusy += entry.cbData;
        HeapUnlock(ahHeaps[i]);
    }
    return static_cast<long>(qwBusy);
}

static void Measure(Counts *pCounts)
{
    pCounts->lHeapBytes = CountHeapBytes();
    pCounts->lHandles = CountHandles();
    pCounts->lGdi = CountGdiObjects();
    pCounts->lUser = CountUserObjects();
    pCounts->lPrivateKb = CountPrivateKb();
}

// ---- The soak -------------------------------------------------------------------------

struct Soak {
    TelvaridApi api;
    char szDir[MAX_PATH];   // this program's folder
    long lPrivateToleranceKb;
    int nFailed;            // blocks that leaked or answered wrongly
    long lWrong;            // wrong answers in the current block
    long lTapiLeft;         // telephony calls after which TAPI32.DLL was still loaded
};

static void BesideProgram(const Soak *pSoak, const char *pszFile, char *pszPath)
{
    snprintf(pszPath, MAX_PATH, "%s\\%s", pSoak->szDir, pszFile);
}

// Path of a file in the system folder; false if the folder's path does not fit.
static bool InSystemFolder(const char *pszFile, char *pszPath)
{
    char szFolder[MAX_PATH];
    UINT cch = GetSystemDirectoryA(szFolder, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return false;
    int n = snprintf(pszPath, MAX_PATH, "%s\\%s", szFolder, pszFile);
    return n > 0 && n < MAX_PATH;
}

static void PumpMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static INT_PTR CALLBACK SoakDialogProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG;
}

// One dialog: created, laid out, checked (the text control got a size), destroyed.
static bool DialogOnce(PFN_TVRINITTEXTDIALOG pfnInit)
{
    static const MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), SoakDialogProc, 0);
    if (!hDlg)
        return false;
    pfnInit(hDlg, kMessage, 1, 2, IDOK);
    RECT r = {0, 0, 0, 0};
    bool bLaidOut = GetWindowRect(GetDlgItem(hDlg, 201), &r) && r.right > r.left && r.bottom > r.top;
    DestroyWindow(hDlg);
    PumpMessages();
    return bLaidOut;
}

// The dialog that the relayout block lays out again and again.
static HWND g_hRelayoutDlg;

static bool StepRelayout(Soak *pSoak)
{
    pSoak->api.pfnInitTextDialog(g_hRelayoutDlg, kMessage, 0, 1, IDOK);
    PumpMessages();
    RECT r = {0, 0, 0, 0};
    return GetWindowRect(GetDlgItem(g_hRelayoutDlg, 201), &r) && r.right > r.left && r.bottom > r.top;
}

static void CheckTapiReleased(Soak *pSoak)
{
    if (GetModuleHandleA("tapi32.dll") != NULL)
        ++pSoak->lTapiLeft;
}

typedef bool (*PFN_STEP)(Soak *pSoak);

static bool StepScanNoPorts(Soak *pSoak)
{
    int nPort = -1;
    return pSoak->api.pfnScanForModem(&nPort) == 0 && nPort == 0;
}

static bool StepCheckMissing(Soak *pSoak)
{
    return pSoak->api.pfnCheckCommParams("COM1", 9600, TRUE, "AT") == 0;
}

static bool StepModem(Soak *pSoak, int nWant)
{
    char szName[76];
    memset(szName, 'x', sizeof szName);
    int nResult = pSoak->api.pfnModemAvailable(szName);
    CheckTapiReleased(pSoak);
    return nResult == nWant;
}

static bool StepModemDouble(Soak *pSoak) { return StepModem(pSoak, 1); }
static bool StepModemWine(Soak *pSoak) { return StepModem(pSoak, 0); }
static bool StepDialog(Soak *pSoak) { return DialogOnce(pSoak->api.pfnInitTextDialog); }

// The DLL is loaded afresh, each export called once, and the DLL freed and gone.
static bool StepLoadFree(Soak *pSoak)
{
    TelvaridApi api;
    if (!LoadTelvarid(&api, false))
        return false;
    int nPort = -1;
    char szName[76];
    bool bRight = api.pfnScanForModem(&nPort) == 0 && nPort == 0;
    bRight = api.pfnCheckCommParams("COM1", 9600, FALSE, NULL) == 0 && bRight;
    bRight = api.pfnModemAvailable(szName) == 1 && bRight;
    CheckTapiReleased(pSoak);
    bRight = DialogOnce(api.pfnInitTextDialog) && bRight;
    UnloadTelvarid(&api);
    return GetModuleHandleA("telvarid.dll") == NULL && bRight;
}

static bool StepScanModem(Soak *pSoak)
{
    int nPort = -1;
    return pSoak->api.pfnScanForModem(&nPort) == 1 && nPort == 3;
}

static PFN_TVRFINDMODEM g_pfnFind = NULL;
static HWND g_hwndOwner = NULL;
static const UINT kCancelAfterMs = 300; // the modem on COM3 answers after about 1.6 s

static bool StepFindNoOwner(Soak *)
{
    int nPort = -1;
    return g_pfnFind != NULL && g_pfnFind(NULL, NULL, &nPort, 0) == 0 && nPort == 0;
}

static BOOL CALLBACK ClickCancelOfOwned(HWND hwnd, LPARAM)
{
    if (hwnd != g_hwndOwner && GetWindow(hwnd, GW_OWNER) == g_hwndOwner && IsWindowVisible(hwnd)) {
        PostMessageA(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
        return FALSE;
    }
    return TRUE;
}

// Runs inside the find's own message loop, which dispatches the thread's timer.
static void CALLBACK CancelTimerProc(HWND, UINT, UINT_PTR idTimer, DWORD)
{
    KillTimer(NULL, idTimer);
    EnumThreadWindows(GetCurrentThreadId(), ClickCancelOfOwned, 0);
}

static bool StepFindCancel(Soak *)
{
    int nPort = -1;
    UINT_PTR idTimer = SetTimer(NULL, 0, kCancelAfterMs, CancelTimerProc);
    bool bRight = g_pfnFind != NULL && g_pfnFind(g_hwndOwner, NULL, &nPort, 0) == -1 && nPort == 0;
    KillTimer(NULL, idTimer);
    return bRight;
}

static void PrintHeader(void)
{
    printf("%-26s %6s  %-10s  %-10s  %-8s  %-14s  %-18s  %s\n", "block", "calls", "handles", "gdi", "user",
           "private KB", "heap bytes", "verdict");
}

// Runs a block: a few calls to warm up (first-use allocations of Wine and of the
// runtime are not leaks), then the measured calls between two readings.
static void RunBlock(Soak *pSoak, const char *pszName, long lCalls, PFN_STEP pfnStep)
{
    const long lWarmUp = lCalls < 10 ? lCalls : 10;
    pSoak->lWrong = 0;
    pSoak->lTapiLeft = 0;
    for (long i = 0; i < lWarmUp; ++i)
        if (!pfnStep(pSoak))
            ++pSoak->lWrong;
    Counts before, after;
    Measure(&before);
    for (long i = 0; i < lCalls; ++i)
        if (!pfnStep(pSoak))
            ++pSoak->lWrong;
    PumpMessages();
    Measure(&after);

    char szVerdict[160] = "flat";
    const long lHandles = after.lHandles - before.lHandles;
    const long lGdi = after.lGdi - before.lGdi;
    const long lUser = after.lUser - before.lUser;
    const long lPrivate = after.lPrivateKb - before.lPrivateKb;
    const long lHeap = after.lHeapBytes - before.lHeapBytes;
    bool bFailed = false;
    if (lHandles > kHandleTolerance || lGdi > kGdiTolerance || lUser > kUserTolerance ||
        lPrivate > pSoak->lPrivateToleranceKb || lHeap > kHeapToleranceBytes) {
        snprintf(szVerdict, sizeof szVerdict, "GROWS");
        bFailed = true;
    }
    if (pSoak->lWrong > 0) {
        snprintf(szVerdict + strlen(szVerdict), sizeof szVerdict - strlen(szVerdict), " %ld-wrong-answers",
                 pSoak->lWrong);
        bFailed = true;
    }
    if (pSoak->lTapiLeft > 0) {
        snprintf(szVerdict + strlen(szVerdict), sizeof szVerdict - strlen(szVerdict), " tapi32-left-loaded-%ld",
                 pSoak->lTapiLeft);
        bFailed = true;
    }
    if (bFailed)
        ++pSoak->nFailed;
    printf("%-26s %6ld  %4ld->%-4ld  %4ld->%-4ld  %3ld->%-3ld  %6ld->%-6ld  %8ld->%-8ld  %s\n", pszName, lCalls,
           before.lHandles, after.lHandles, before.lGdi, after.lGdi, before.lUser, after.lUser, before.lPrivateKb,
           after.lPrivateKb, before.lHeapBytes, after.lHeapBytes, szVerdict);
    fflush(stdout);
}

static bool WaitForModem(const Soak *pSoak)
{
    char szWants[MAX_PATH], szReady[MAX_PATH];
    BesideProgram(pSoak, "soak-wants-modem", szWants);
    BesideProgram(pSoak, "soak-modem-ready", szReady);
    HANDLE h = CreateFileA(szWants, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    for (DWORD dwWaited = 0; dwWaited < kModemWaitMs; dwWaited += 100) {
        if (GetFileAttributesA(szReady) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(100);
    }
    return false;
}

int main(int argc, char **argv)
{
    long lDivide = 1;
    Soak soak;
    ZeroMemory(&soak, sizeof soak);
    soak.lPrivateToleranceKb = kDefaultPrivateToleranceKb;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--divide") == 0)
            lDivide = atol(argv[i + 1]);
        else if (strcmp(argv[i], "--tolerance-kb") == 0)
            soak.lPrivateToleranceKb = atol(argv[i + 1]);
    }
    if (lDivide < 1)
        lDivide = 1;
    DWORD cch = GetModuleFileNameA(NULL, soak.szDir, MAX_PATH);
    while (cch > 0 && soak.szDir[cch - 1] != '\\')
        --cch;
    soak.szDir[cch > 0 ? cch - 1 : 0] = '\0';

    if (!LoadTelvarid(&soak.api, false)) {
        printf("load=failed\n");
        return 3;
    }
    printf("soak: counts divided by %ld; tolerances: handles +%ld, gdi +%ld, user +%ld, private +%ld KB, heap +%ld "
           "bytes\n",
           lDivide, kHandleTolerance, kGdiTolerance, kUserTolerance, soak.lPrivateToleranceKb, kHeapToleranceBytes);
    // The first reading connects the process to the window system, which creates
    // handles and GDI objects of its own: taken once here, it is not charged to a block.
    Counts warm;
    Measure(&warm);
    PrintHeader();
    RunBlock(&soak, "scan, no ports", 10000 / lDivide, StepScanNoPorts);
    RunBlock(&soak, "check, missing port", 10000 / lDivide, StepCheckMissing);
    RunBlock(&soak, "modem, telephony double", 10000 / lDivide, StepModemDouble);
    RunBlock(&soak, "dialogs", 1000 / lDivide, StepDialog);
    static const MessageDialogTemplate tmpl;
    g_hRelayoutDlg = tmpl.Create(GetModuleHandleA(NULL), SoakDialogProc, 0);
    RunBlock(&soak, "one dialog laid out again", 1000 / lDivide, StepRelayout);
    DestroyWindow(g_hRelayoutDlg);
    PumpMessages();
    g_pfnFind = reinterpret_cast<PFN_TVRFINDMODEM>(
        reinterpret_cast<void *>(GetProcAddress(soak.api.hModule, "TVRFindModem")));
    RunBlock(&soak, "find, no owner", 1000 / lDivide, StepFindNoOwner);

    // The load-and-free block starts from the DLL not loaded at all.
    UnloadTelvarid(&soak.api);
    if (GetModuleHandleA("telvarid.dll") != NULL) {
        printf("unload=failed\n");
        return 1;
    }
    RunBlock(&soak, "load and free", 1000 / lDivide, StepLoadFree);
    if (!LoadTelvarid(&soak.api, false)) {
        printf("load=failed\n");
        return 3;
    }

    // Wine's own TAPI32: the double in the system folder is moved aside and Wine's own
    // file, which the suite left beside it as tapi32.dll.wine, takes its place.
    char szDouble[MAX_PATH], szAside[MAX_PATH], szWine[MAX_PATH];
    if (!InSystemFolder("tapi32.dll", szDouble) || !InSystemFolder("tapi32.dll.aside", szAside) ||
        !InSystemFolder("tapi32.dll.wine", szWine)) {
        printf("the system folder's path is too long\n");
        return 1;
    }
    if (!MoveFileA(szDouble, szAside)) {
        printf("the telephony double could not be moved aside (error %lu)\n", GetLastError());
        return 1;
    }
    if (!MoveFileA(szWine, szDouble)) {
        printf("Wine's own tapi32.dll could not be put in place (error %lu)\n", GetLastError());
        MoveFileA(szAside, szDouble);
        return 1;
    }
    RunBlock(&soak, "modem, Wine's TAPI32", 1000 / lDivide, StepModemWine);
    MoveFileA(szDouble, szWine);
    MoveFileA(szAside, szDouble);

    if (!WaitForModem(&soak)) {
        printf("no modem emulator came on COM3\n");
        return 1;
    }
    long lModemScans = 100 / lDivide;
    RunBlock(&soak, "scan, answering modem", lModemScans < 1 ? 1 : lModemScans, StepScanModem);
    // The owner: a visible top-level window of this thread, made once.
    g_pfnFind = reinterpret_cast<PFN_TVRFINDMODEM>(
        reinterpret_cast<void *>(GetProcAddress(soak.api.hModule, "TVRFindModem")));
    g_hwndOwner = CreateWindowExA(0, "STATIC", "Modem Setup", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 300,
                                  NULL, NULL, GetModuleHandleA(NULL), NULL);
    PumpMessages();
    RunBlock(&soak, "find, window, Cancel", 200 / lDivide, StepFindCancel);
    DestroyWindow(g_hwndOwner);
    PumpMessages();

    UnloadTelvarid(&soak.api);
    printf("soak=%s\n", soak.nFailed == 0 ? "flat" : "failed");
    return soak.nFailed == 0 ? 0 : 1;
}
