// "watch": another program's window, watched from this one as Windows watches for a hung
// window, for tests/wine/suite-nsis.sh: an installer that calls the find from a page
// callback must keep answering while the search runs.
//
//   watch CAPTION SECONDS
//     waits up to SECONDS for a top-level window titled CAPTION, then, until it is gone
//     (or SECONDS more have passed), sends it WM_NULL with SendMessageTimeout every
//     50 ms, and looks for a visible window of its thread that it owns (the find's).
//     Prints
//       watched=yes|no
//       popup=yes screen=L,T,R,B        once, when the owned window is first seen,
//                                       flushed at once (the suite screenshots it)
//       popup_text=TEXT                 the owned window's controls' texts, as UTF-8,
//                                       joined by '|'
//       wm_null_answered=N wm_null_late=N wm_null_max_ms=T
//     "late" counts answers slower than a second, or none within 5 s.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"

namespace {

const DWORD kWatchEveryMs = 50;
const UINT kWmNullTimeoutMs = 5000; // Windows ghosts a window after 5 s
const double kLateMs = 1000.0;

// The find's window: a visible window of the watched window's thread that it owns.
struct OwnedSearch {
    HWND hwndOwner;
    HWND hwndFound;
};

BOOL CALLBACK FindOwnedWindow(HWND hwnd, LPARAM lParam)
{
    OwnedSearch *pSearch = reinterpret_cast<OwnedSearch *>(lParam);
    if (hwnd != pSearch->hwndOwner && GetWindow(hwnd, GW_OWNER) == pSearch->hwndOwner && IsWindowVisible(hwnd)) {
        pSearch->hwndFound = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND OwnedWindow(HWND hwndOwner)
{
    OwnedSearch search = {hwndOwner, NULL};
    EnumThreadWindows(GetWindowThreadProcessId(hwndOwner, NULL), FindOwnedWindow, reinterpret_cast<LPARAM>(&search));
    return search.hwndFound;
}

struct ChildTexts {
    char sz[4096];
};

BOOL CALLBACK AppendChildText(HWND hwnd, LPARAM lParam)
{
    ChildTexts *pTexts = reinterpret_cast<ChildTexts *>(lParam);
    WCHAR wsz[1024];
    if (GetWindowTextW(hwnd, wsz, sizeof wsz / sizeof wsz[0]) <= 0)
        return TRUE;
    char sz[3072];
    if (WideCharToMultiByte(CP_UTF8, 0, wsz, -1, sz, sizeof sz, NULL, NULL) <= 0)
        return TRUE;
    const size_t cbHave = strlen(pTexts->sz);
    if (cbHave + strlen(sz) + 2 < sizeof pTexts->sz) {
        if (cbHave != 0)
            strcat(pTexts->sz, "|");
        strcat(pTexts->sz, sz);
    }
    return TRUE;
}

int RunWatch(const TelvaridApi *, int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tvrhost watch CAPTION SECONDS\n");
        return 2;
    }
    const DWORD dwLimitMs = strtoul(argv[1], NULL, 10) * 1000;
    HWND hwnd = NULL;
    const DWORD dwStart = GetTickCount();
    while (hwnd == NULL && GetTickCount() - dwStart < dwLimitMs) {
        hwnd = FindWindowA(NULL, argv[0]);
        if (hwnd == NULL)
            Sleep(kWatchEveryMs);
    }
    // The find's window takes its owner's title: when it is the one found, its owner is
    // the window to watch.
    if (hwnd != NULL && GetWindow(hwnd, GW_OWNER) != NULL)
        hwnd = GetWindow(hwnd, GW_OWNER);
    printf("watched=%s\n", hwnd ? "yes" : "no");
    fflush(stdout);
    if (hwnd == NULL)
        return 1;

    int nAnswered = 0;
    int nLate = 0;
    double maxMs = 0;
    bool bPopupSeen = false;
    const DWORD dwWatchStart = GetTickCount();
    while (IsWindow(hwnd) && GetTickCount() - dwWatchStart < dwLimitMs) {
        LARGE_INTEGER t0;
        QueryPerformanceCounter(&t0);
        DWORD_PTR dwResult = 0;
        const LRESULT lr = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWmNullTimeoutMs, &dwResult);
        const double ms = HostElapsedMs(&t0);
        if (!IsWindow(hwnd))
            break;
        if (lr != 0)
            ++nAnswered;
        if (lr == 0 || ms > kLateMs)
            ++nLate;
        if (ms > maxMs)
            maxMs = ms;
        HWND hwndPopup = bPopupSeen ? NULL : OwnedWindow(hwnd);
        if (hwndPopup != NULL) {
            bPopupSeen = true;
            // Give the window a moment to paint before the suite takes its picture.
            Sleep(300);
            RECT r;
            GetWindowRect(hwndPopup, &r);
            ChildTexts texts;
            texts.sz[0] = 0;
            EnumChildWindows(hwndPopup, AppendChildText, reinterpret_cast<LPARAM>(&texts));
            printf("popup=yes screen=%ld,%ld,%ld,%ld\n", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
            printf("popup_text=%s\n", texts.sz);
            fflush(stdout);
        }
        Sleep(kWatchEveryMs);
    }
    printf("wm_null_answered=%d wm_null_late=%d wm_null_max_ms=%.0f\n", nAnswered, nLate, maxMs);
    return 0;
}

} // namespace

TVR_HOST_VERB(watch, "watch", RunWatch);
