// "find": drives TVRFindModem, with no owner or with a real owner window, and prints what
// it returned and what the owner went through, for tests/wine/suite-find.sh and
// suite-find-window.sh.
//
//   find [OPTIONS]      one line per mode: mode=M result=R port=N ms=T
//     --modes LIST      at-once, in-turn or both (at-once,in-turn; the default)
//     --ordinal         resolves TVRFindModem by its ordinal (5), not its name
//     --null-port       passes no integer
//     --owner           a visible top-level owner window on this thread; then also
//                       owner_disabled_during=yes|no wm_null_max_ms=T wm_null_hung=N
//                       owner_enabled_after=yes|no owner_active_after=yes|no
//                       find_window=x,y,cx,cy window_gone=yes|no
//     --message TEXT    the message, else NULL (Wine hands a program its arguments in
//                       the ANSI code page: the text is read back from it to UTF-16)
//     --cancel-at MS    another thread cancels the search MS after it began, by
//     --cancel-by HOW   button (a click on Cancel), esc (Esc to the window) or close
//                       (the window's close command); prints cancel_to_return_ms=T
//     --quit-at MS      another thread posts WM_QUIT 7 to this thread MS after the start;
//                       prints quit_reposted=CODE|none
//     --second-at MS    another thread makes a second TVRFindModem call (no owner) MS
//                       after the start; prints second_result=R second_port=N
//                       second_ms=T
//
// A watcher thread sends the owner WM_NULL with SendMessageTimeout every 50 ms while the
// search runs, as Windows does to tell a hung window, and notes the longest answer and
// how many Windows would have taken for a hung window (no answer within 5 s, the time
// after which it ghosts one); it also notes whether the owner was ever enabled
// while the find's window was up.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"

static const DWORD kWatchEveryMs = 50;      // how often the watcher looks
static const UINT kWmNullTimeoutMs = 5000;  // Windows ghosts a window after 5 s

struct Watch {
    HWND hwndOwner;
    DWORD dwMainThread;
    LARGE_INTEGER start;
    double cancelAtMs; // < 0: no cancel
    const char *pszCancelBy;
    double quitAtMs;   // < 0: no WM_QUIT
    double secondAtMs; // < 0: no second call
    PFN_TVRFINDMODEM pfnFind;
    int nSecondResult;
    int nSecondPort;
    double secondMs;
    volatile LONG lDone;
    // Results
    double wmNullMaxMs;
    int nHung;
    int nEnabledWhileUp;
    int nWindowSeen;
    RECT rcFind;
    LARGE_INTEGER cancelledAt;
    bool bCancelSent;
};

// The find's window: a window of the calling thread, other than the owner, that the
// owner owns.
struct OwnedSearch {
    HWND hwndOwner;
    HWND hwndFound;
};

static BOOL CALLBACK FindOwnedWindow(HWND hwnd, LPARAM lParam)
{
    OwnedSearch *s = (OwnedSearch *)lParam;
    if (hwnd != s->hwndOwner && GetWindow(hwnd, GW_OWNER) == s->hwndOwner && IsWindowVisible(hwnd)) {
        s->hwndFound = hwnd;
        return FALSE;
    }
    return TRUE;
}

static HWND OwnedWindow(const Watch *w)
{
    OwnedSearch s = {w->hwndOwner, NULL};
    EnumThreadWindows(w->dwMainThread, FindOwnedWindow, (LPARAM)&s);
    return s.hwndFound;
}

static DWORD WINAPI Watcher(LPVOID lpParam)
{
    Watch *w = (Watch *)lpParam;
    bool bQuitSent = false;
    while (!w->lDone) {
        LARGE_INTEGER t0;
        QueryPerformanceCounter(&t0);
        DWORD_PTR dwResult = 0;
        LRESULT lr = SendMessageTimeoutW(w->hwndOwner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWmNullTimeoutMs, &dwResult);
        double ms = HostElapsedMs(&t0);
        if (w->lDone)
            break; // the call has returned: what follows is not the search's
        if (lr == 0)
            ++w->nHung;
        if (ms > w->wmNullMaxMs)
            w->wmNullMaxMs = ms;
        HWND hwndFind = OwnedWindow(w);
        if (hwndFind != NULL) {
            ++w->nWindowSeen;
            GetWindowRect(hwndFind, &w->rcFind);
            if (IsWindowEnabled(w->hwndOwner))
                ++w->nEnabledWhileUp;
        }
        double elapsed = HostElapsedMs(&w->start);
        if (w->cancelAtMs >= 0 && !w->bCancelSent && elapsed >= w->cancelAtMs && hwndFind != NULL) {
            HWND hwndCancel = GetDlgItem(hwndFind, IDCANCEL);
            QueryPerformanceCounter(&w->cancelledAt);
            w->bCancelSent = true;
            if (strcmp(w->pszCancelBy, "esc") == 0) {
                PostMessageW(hwndCancel, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(hwndCancel, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            } else if (strcmp(w->pszCancelBy, "close") == 0) {
                PostMessageW(hwndFind, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                PostMessageW(hwndCancel, BM_CLICK, 0, 0);
            }
        }
        if (w->secondAtMs >= 0 && elapsed >= w->secondAtMs) {
            LARGE_INTEGER t1;
            QueryPerformanceCounter(&t1);
            w->nSecondPort = 12345;
            w->nSecondResult = w->pfnFind(NULL, NULL, &w->nSecondPort, 0);
            w->secondMs = HostElapsedMs(&t1);
            w->secondAtMs = -1;
        }
        if (w->quitAtMs >= 0 && !bQuitSent && elapsed >= w->quitAtMs) {
            QueryPerformanceCounter(&w->cancelledAt);
            PostThreadMessageW(w->dwMainThread, WM_QUIT, 7, 0);
            bQuitSent = true;
            w->bCancelSent = true;
        }
        Sleep(kWatchEveryMs);
    }
    return 0;
}

static LRESULT CALLBACK OwnerProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

static HWND MakeOwner()
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = L"TvrHostOwner";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, L"TvrHostOwner", L"Modem Setup", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 100, 640,
                                420, NULL, NULL, wc.hInstance, NULL);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    return hwnd;
}

static int RunFind(const TelvaridApi *pApi, int argc, char **argv)
{
    bool bOrdinal = false, bOwner = false, bNullPort = false;
    const char *pszModes = "at-once,in-turn";
    const char *pszMessage = NULL;
    const char *pszCancelBy = "button";
    double cancelAtMs = -1, quitAtMs = -1, secondAtMs = -1;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--ordinal") == 0)
            bOrdinal = true;
        else if (strcmp(argv[i], "--owner") == 0)
            bOwner = true;
        else if (strcmp(argv[i], "--null-port") == 0)
            bNullPort = true;
        else if (strcmp(argv[i], "--modes") == 0 && i + 1 < argc)
            pszModes = argv[++i];
        else if (strcmp(argv[i], "--message") == 0 && i + 1 < argc)
            pszMessage = argv[++i];
        else if (strcmp(argv[i], "--cancel-at") == 0 && i + 1 < argc)
            cancelAtMs = atof(argv[++i]);
        else if (strcmp(argv[i], "--cancel-by") == 0 && i + 1 < argc)
            pszCancelBy = argv[++i];
        else if (strcmp(argv[i], "--quit-at") == 0 && i + 1 < argc)
            quitAtMs = atof(argv[++i]);
        else if (strcmp(argv[i], "--second-at") == 0 && i + 1 < argc)
            secondAtMs = atof(argv[++i]);
        else {
            fprintf(stderr, "tvrhost find: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    PFN_TVRFINDMODEM pfnFind = reinterpret_cast<PFN_TVRFINDMODEM>(reinterpret_cast<void *>(
        GetProcAddress(pApi->hModule, bOrdinal ? MAKEINTRESOURCEA(5) : "TVRFindModem")));
    if (!pfnFind) {
        printf("find=missing\n");
        return 3;
    }
    WCHAR szMessage[1024];
    if (pszMessage)
        MultiByteToWideChar(CP_ACP, 0, pszMessage, -1, szMessage, 1024);

    char szModes[64];
    lstrcpynA(szModes, pszModes, sizeof szModes);
    for (char *pszMode = strtok(szModes, ","); pszMode; pszMode = strtok(NULL, ",")) {
        DWORD dwFlags = strcmp(pszMode, "in-turn") == 0 ? TVR_FIND_IN_TURN : 0;
        HWND hwndOwner = bOwner ? MakeOwner() : NULL;
        Watch watch;
        ZeroMemory(&watch, sizeof watch);
        watch.hwndOwner = hwndOwner;
        watch.dwMainThread = GetCurrentThreadId();
        watch.cancelAtMs = cancelAtMs;
        watch.pszCancelBy = pszCancelBy;
        watch.quitAtMs = quitAtMs;
        watch.secondAtMs = secondAtMs;
        watch.pfnFind = pfnFind;
        QueryPerformanceCounter(&watch.start);
        HANDLE hWatcher = bOwner ? CreateThread(NULL, 0, Watcher, &watch, 0, NULL) : NULL;

        int nPort = 12345;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        int nResult = pfnFind(hwndOwner, pszMessage ? szMessage : NULL, bNullPort ? NULL : &nPort, dwFlags);
        double ms = HostElapsedMs(&start);
        double cancelToReturn = watch.bCancelSent ? HostElapsedMs(&watch.cancelledAt) : -1;
        // Straight after the call, before any message of ours is taken.
        bool bEnabledAfter = bOwner && IsWindowEnabled(hwndOwner);
        bool bActiveAfter = bOwner && GetActiveWindow() == hwndOwner;
        InterlockedExchange(&watch.lDone, 1);
        if (hWatcher) {
            // The watcher may be inside a SendMessageTimeout to the owner: keep answering.
            while (MsgWaitForMultipleObjects(1, &hWatcher, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
                MSG msg;
                while (PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT &&
                       PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                    DispatchMessageW(&msg);
                if (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE))
                    break;
            }
            WaitForSingleObject(hWatcher, INFINITE);
            CloseHandle(hWatcher);
        }
        printf("mode=%s result=%d port=%d ms=%.1f\n", pszMode, nResult, bNullPort ? -1 : nPort, ms);
        if (watch.bCancelSent)
            printf("cancel_to_return_ms=%.1f\n", cancelToReturn);
        if (secondAtMs >= 0)
            printf("second_result=%d second_port=%d second_ms=%.1f\n", watch.nSecondResult, watch.nSecondPort,
                   watch.secondMs);
        if (quitAtMs >= 0) {
            MSG msg;
            if (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
                printf("quit_reposted=%d\n", (int)msg.wParam);
            else
                printf("quit_reposted=none\n");
        }
        if (bOwner) {
            printf("owner_disabled_during=%s find_window_seen=%d wm_null_max_ms=%.1f wm_null_hung=%d\n",
                   watch.nEnabledWhileUp == 0 && watch.nWindowSeen > 0 ? "yes" : "no", watch.nWindowSeen,
                   watch.wmNullMaxMs, watch.nHung);
            printf("owner_enabled_after=%s owner_active_after=%s\n", bEnabledAfter ? "yes" : "no",
                   bActiveAfter ? "yes" : "no");
            printf("find_window=%ld,%ld,%ld,%ld\n", watch.rcFind.left, watch.rcFind.top,
                   watch.rcFind.right - watch.rcFind.left, watch.rcFind.bottom - watch.rcFind.top);
            printf("window_gone=%s\n", OwnedWindow(&watch) == NULL ? "yes" : "no");
            DestroyWindow(hwndOwner);
            UnregisterClassW(L"TvrHostOwner", GetModuleHandleW(NULL));
        }
        fflush(stdout);
    }
    return 0;
}

TVR_HOST_VERB(find, "find", RunFind);
