// "dialog": shows a message dialog laid out by TVRInitTextDialog and prints where each
// control and the dialog ended up. The dialog closes itself after a few seconds, or
// when one of its buttons is pressed, so the demo never waits on a user.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MessageDialogTemplate.h"
#include "UnescapeText.h"
#include "Verbs.h"

static const UINT_PTR uCloseTimer = 1;    // the timer that ends the demo
static const DWORD dwDefaultSeconds = 5;  // long enough to look at, short enough for a demo

static const char *g_pszClosedBy = "time-out";

static INT_PTR CALLBACK ProbeDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            g_pszClosedBy = LOWORD(wParam) == IDOK ? "button 1" : "button 2";
            DestroyWindow(hDlg);
        }
        return TRUE;
    case WM_TIMER:
        DestroyWindow(hDlg);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

// Names the window that has (or had) the keyboard focus, as seen from the dialog: a
// control by its ID, the dialog itself, nothing, or some window that isn't part of it.
// A dialog whose WM_INITDIALOG returns TRUE already has the focus on its first tab stop
// (button 1) when TVRInitTextDialog is called.
static void DescribeFocus(HWND hDlg, HWND hFocus, char *pszOut, size_t cbOut)
{
    if (!hFocus) {
        snprintf(pszOut, cbOut, "none");
        return;
    }
    if (hFocus == hDlg) {
        snprintf(pszOut, cbOut, "the dialog itself");
        return;
    }
    if (!IsChild(hDlg, hFocus)) {
        snprintf(pszOut, cbOut, "a window outside the dialog");
        return;
    }
    const int nID = GetDlgCtrlID(hFocus);
    const char *pszName = nID == IDOK ? " (button 1)" : nID == IDCANCEL ? " (button 2)" : "";
    snprintf(pszOut, cbOut, "control %d%s", nID, pszName);
}

static void PrintControl(HWND hDlg, int nID, const char *pszName, const char *pszNote)
{
    HWND hControl = GetDlgItem(hDlg, nID);
    RECT r;
    if (!hControl || !GetWindowRect(hControl, &r)) {
        printf("  %-9s %3d  (none)\n", pszName, nID);
        return;
    }
    MapWindowPoints(NULL, hDlg, reinterpret_cast<POINT *>(&r), 2);
    printf("  %-9s %3d  x=%ld y=%ld width=%ld height=%ld%s\n", pszName, nID, (long)r.left, (long)r.top,
           (long)(r.right - r.left), (long)(r.bottom - r.top), pszNote);
}

static int RunDialog(const TelvaridApi *pApi, int argc, char **argv)
{
    static char szText[2048];
    const char *pszText = NULL;
    LONG rgl[2] = {0, 1}; // icon type, button mode
    int cNumbers = 0;
    DWORD dwSeconds = dwDefaultSeconds;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            dwSeconds = strtoul(argv[++i], NULL, 10);
        else if (!pszText)
            pszText = argv[i];
        else if (cNumbers < 2)
            rgl[cNumbers++] = atol(argv[i]);
    }
    if (!pszText) {
        fprintf(stderr, "usage: tvrprobe dialog TEXT [ICON] [BUTTONMODE] [--seconds N]\n");
        return 2;
    }
    strncpy(szText, pszText, sizeof szText - 1);
    UnescapeText(szText);
    const LONG lIconType = rgl[0];
    const LONG lButtonMode = rgl[1];

    MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), ProbeDialogProc, 0);
    if (!hDlg) {
        fprintf(stderr, "tvrprobe: the dialog could not be created (error %lu)\n", GetLastError());
        return 1;
    }
    if (lButtonMode == 1)
        ShowWindow(GetDlgItem(hDlg, IDCANCEL), SW_HIDE);

    static const char *rgpszIcons[] = {"information", "exclamation", "hand", "question"};
    HWND hPrevious = pApi->pfnInitTextDialog(hDlg, szText, lIconType, lButtonMode, IDOK);
    printf("TVRInitTextDialog laid out the dialog: icon %ld (%s), %s.\n", (long)lIconType,
           static_cast<DWORD>(lIconType) <= 3 ? rgpszIcons[lIconType] : "none, icon left alone",
           lButtonMode == 1 ? "one button" : "two buttons");
    printf("Controls, in dialog client coordinates:\n");
    PrintControl(hDlg, 200, "icon", "");
    PrintControl(hDlg, 201, "text", "");
    PrintControl(hDlg, IDOK, "button 1", "");
    PrintControl(hDlg, IDCANCEL, "button 2", lButtonMode == 1 ? "  (hidden, not moved in one-button mode)" : "");
    PrintControl(hDlg, 202, "control", "");
    RECT r;
    GetWindowRect(hDlg, &r);
    printf("Dialog on the screen: (%ld,%ld)-(%ld,%ld), %ld x %ld.\n", (long)r.left, (long)r.top, (long)r.right,
           (long)r.bottom, (long)(r.right - r.left), (long)(r.bottom - r.top));
    RECT rClient;
    GetClientRect(hDlg, &rClient);
    printf("Client area: %ld x %ld.\n", (long)rClient.right, (long)rClient.bottom);
    char szBefore[64];
    char szNow[64];
    DescribeFocus(hDlg, hPrevious, szBefore, sizeof szBefore);
    DescribeFocus(hDlg, GetFocus(), szNow, sizeof szNow);
    printf("Focus before the call: %s; focus now: %s.\n", szBefore, szNow);
    printf("Closing in %lu s, or when a button is pressed.\n", (unsigned long)dwSeconds);
    fflush(stdout);

    ShowWindow(hDlg, SW_SHOW);
    SetTimer(hDlg, uCloseTimer, dwSeconds * 1000, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    printf("Closed by %s.\n", g_pszClosedBy);
    return 0;
}

TVR_PROBE_VERB(dialog, "dialog", "TEXT [ICON] [BUTTONMODE] [--seconds N]",
               "shows a message dialog laid out by the DLL (ICON 0-3, BUTTONMODE 1 for one button) and prints "
               "its geometry; closes after N seconds (5) or at a button",
               RunDialog);
