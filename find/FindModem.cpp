// The find: the scan's answer in about one port's time, with the caller's window kept
// alive.
//
//   TVRFindModem         refuses a second concurrent call; stop event; the window
//     OpenFindWindow     (with an owner only) owner disabled, window shown
//     loop               NextPortToStart -> CreateThread (one per port: ProbeNumberedPort
//                        with the stop event) -> DecideFind -> wait for a probe's thread
//                        to end (WaitPumping with a window, WaitForMultipleObjects
//                        without) or for Cancel
//     StopAndJoin        stop event set -> every thread still running waited for and
//                        its handle closed (each sees the stop within 20 ms and closes
//                        its port)
//     CloseFindWindow    owner enabled -> window destroyed
//
// All at once (dwFlags 0) the four probes start together: a modem on COM1 answers in
// about 1.6 s whatever the other ports do, four silent ports take one silent port's
// 8 s. In turn (TVR_FIND_IN_TURN) each probe starts when the one before it ended
// without an answer, so no port after the answering one is opened, as in the scan.
// Every thread the call started has ended before it returns; nothing is kept between
// calls.
#include <windows.h>
#include <string.h>

#include "find/FindDecision.h"
#include "find/FindWindow.h"
#include "frame/telvarid.h"
#include "serial/CommProbe.h"

struct PortJob {
    LONG lPort;
    HANDLE hStop;
    CommProbe probe; // written by the port's thread; read once its handle is signalled
};

struct FindSearch {
    HANDLE hStop;
    BOOL bInTurn;
    BOOL bWindow;
    BOOL bCancelled;
    FindProgress window;
    PortJob rgJobs[TVR_FIND_PORT_COUNT];
    HANDLE rghThreads[TVR_FIND_PORT_COUNT]; // NULL: not running
    FindPortState rgState[TVR_FIND_PORT_COUNT];
};

// Set while a call runs: a second call made meanwhile (from another thread) is refused.
static volatile LONG g_lFindRunning = 0;

static DWORD WINAPI PortProbeThread(LPVOID lpParameter)
{
    PortJob *lpJob = (PortJob *)lpParameter;
    ProbeNumberedPort(lpJob->lPort, lpJob->hStop, &lpJob->probe);
    return 0;
}

static FindPortState StateAfterProbe(const CommProbe *lpProbe)
{
    if (lpProbe->step == kProbeStepStopped)
        return kFindPortStopped;
    return lpProbe->nVerdict ? kFindPortAnswered : kFindPortSilent;
}

static void ShowPort(FindSearch *lpSearch, LONG i)
{
    if (lpSearch->bWindow)
        ShowFindPort(&lpSearch->window, i, lpSearch->rgState[i], &lpSearch->rgJobs[i].probe);
}

static BOOL StartPort(FindSearch *lpSearch, LONG i)
{
    PortJob *lpJob = &lpSearch->rgJobs[i];
    lpJob->lPort = i + TVR_FIRST_SCAN_PORT;
    lpJob->hStop = lpSearch->hStop;
    // The library starts no C runtime threads: it links no C runtime start-up, and a
    // probe calls nothing of the C runtime that needs per-thread data.
    lpSearch->rghThreads[i] = CreateThread(NULL, 0, PortProbeThread, lpJob, 0, NULL);
    if (lpSearch->rghThreads[i] == NULL)
        return FALSE;
    lpSearch->rgState[i] = kFindPortProbing;
    ShowPort(lpSearch, i);
    return TRUE;
}

// The port whose probe has ended: its thread's handle closed, its state taken.
static void EndPort(FindSearch *lpSearch, LONG i)
{
    CloseHandle(lpSearch->rghThreads[i]);
    lpSearch->rghThreads[i] = NULL;
    lpSearch->rgState[i] = StateAfterProbe(&lpSearch->rgJobs[i].probe);
    ShowPort(lpSearch, i);
}

// Waits for one running probe to end and returns its port's index, or -1 when the user
// cancelled or the wait failed.
static LONG WaitForPort(FindSearch *lpSearch)
{
    HANDLE rgh[TVR_FIND_PORT_COUNT];
    LONG rgIndex[TVR_FIND_PORT_COUNT];
    DWORD cRunning = 0;
    for (LONG i = 0; i < TVR_FIND_PORT_COUNT; ++i) {
        if (lpSearch->rghThreads[i] != NULL) {
            rgh[cRunning] = lpSearch->rghThreads[i];
            rgIndex[cRunning] = i;
            ++cRunning;
        }
    }
    if (cRunning == 0)
        return -1;
    DWORD dwEnded = lpSearch->bWindow ? WaitPumping(&lpSearch->window, cRunning, rgh, TRUE)
                                      : WaitForMultipleObjects(cRunning, rgh, FALSE, INFINITE);
    if (dwEnded >= cRunning)
        return -1;
    return rgIndex[dwEnded];
}

// Ends every probe still running and waits for each thread: each sees the stop event
// within one poll slice, closes its port and returns.
static void StopAndJoin(FindSearch *lpSearch)
{
    SetEvent(lpSearch->hStop);
    for (LONG i = 0; i < TVR_FIND_PORT_COUNT; ++i) {
        HANDLE hThread = lpSearch->rghThreads[i];
        if (hThread == NULL)
            continue;
        // The window keeps answering while the last probes end.
        if (lpSearch->bWindow)
            WaitPumping(&lpSearch->window, 1, &hThread, FALSE);
        else
            WaitForSingleObject(hThread, INFINITE);
        EndPort(lpSearch, i);
    }
}

// 1 and the port's index in *lpIndex, 0, or -1 (cancelled, or the search could not run).
static int RunSearch(FindSearch *lpSearch, LONG *lpIndex)
{
    for (;;) {
        LONG i;
        while (!lpSearch->bCancelled &&
               (i = NextPortToStart(lpSearch->rgState, TVR_FIND_PORT_COUNT, lpSearch->bInTurn)) >= 0) {
            // Without a thread for every port the answer could be wrong: none at all.
            if (!StartPort(lpSearch, i))
                return -1;
        }
        switch (DecideFind(lpSearch->rgState, TVR_FIND_PORT_COUNT, lpSearch->bCancelled, lpIndex)) {
        case kFindFound:
            return 1;
        case kFindNone:
            return 0;
        case kFindCancelled:
            return -1;
        case kFindUndecided:
            break;
        }
        LONG lEnded = WaitForPort(lpSearch);
        if (lEnded < 0)
            lpSearch->bCancelled = TRUE;
        else
            EndPort(lpSearch, lEnded);
    }
}

static int FindModem(HWND hwndOwner, LPCWSTR lpszMessage, LONG *lpPort, DWORD dwFlags)
{
    FindSearch search;
    memset(&search, 0, sizeof search);
    search.bInTurn = (dwFlags & TVR_FIND_IN_TURN) != 0;
    search.hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (search.hStop == NULL)
        return -1;
    // Without a window (none asked for, or none could be made) the call simply waits.
    if (hwndOwner != NULL)
        search.bWindow = OpenFindWindow(&search.window, hwndOwner, lpszMessage);

    LONG lIndex = -1;
    int nResult = RunSearch(&search, &lIndex);
    StopAndJoin(&search);
    if (search.bWindow)
        CloseFindWindow(&search.window);
    CloseHandle(search.hStop);
    if (nResult == 1)
        *lpPort = lIndex + TVR_FIRST_SCAN_PORT;
    return nResult;
}

extern "C" int __cdecl TVRFindModem(HWND hwndOwner, LPCWSTR lpszMessage, int *lpPortNumber, DWORD dwFlags)
{
    if (lpPortNumber != NULL)
        *lpPortNumber = 0;
    if (InterlockedCompareExchange(&g_lFindRunning, 1, 0) != 0)
        return -1;
    LONG lPort = 0;
    int nResult = FindModem(hwndOwner, lpszMessage, &lPort, dwFlags);
    InterlockedExchange(&g_lFindRunning, 0);
    if (nResult == 1 && lpPortNumber != NULL)
        *lpPortNumber = (int)lPort;
    return nResult;
}
