// "dialog": lays out a real message dialog through the loaded telvarid.dll and checks
// every window against the layout computed from what the dialog looked like before the
// call (the library's own pure geometry, fed with rectangles read here and a text
// extent measured here the same way). Twice on the same dialog, so the second call
// starts from the first one's result.
//
//   tvrhost dialog TEXT ICON MODE [FOCUSID] [--hold MS]
//     TEXT may hold \n and \t; FOCUSID defaults to 1; --hold keeps the dialog shown
//     for MS milliseconds after printing "shown=1" (for a screenshot).
//   tvrhost dialog-example
//     the pure geometry on the reference dialog, in both button modes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"
#include "dialog/DialogGeometry.h"
#include "tools/tvrprobe/MessageDialogTemplate.h"
#include "tools/tvrprobe/UnescapeText.h"

namespace {

struct Rects {
    RECT rIcon, rText, rDlg, rOK, rCancel, rExtra; // screen coordinates
};

INT_PTR CALLBACK HostDialogProc(HWND, UINT uMsg, WPARAM, LPARAM) { return uMsg == WM_INITDIALOG; }

void Pump(DWORD dwMs)
{
    const DWORD dwStart = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - dwStart < dwMs);
}

void ReadRects(HWND hDlg, Rects *p)
{
    GetWindowRect(GetDlgItem(hDlg, 200), &p->rIcon);
    GetWindowRect(GetDlgItem(hDlg, 201), &p->rText);
    GetWindowRect(hDlg, &p->rDlg);
    GetWindowRect(GetDlgItem(hDlg, IDOK), &p->rOK);
    GetWindowRect(GetDlgItem(hDlg, IDCANCEL), &p->rCancel);
    GetWindowRect(GetDlgItem(hDlg, 202), &p->rExtra);
}

// The text extent as the library measures it: the control's own DC, its client
// rectangle's bottom-right corner to logical units, a word-wrapping DT_CALCRECT, and
// the (width, height) point back to device units.
void Measure(HWND hText, const char *pszText, LONG *plWidth, LONG *plHeight)
{
    HDC hdc = GetDC(hText);
    RECT r;
    GetClientRect(hText, &r);
    POINT pt = {r.right, r.bottom};
    DPtoLP(hdc, &pt, 1);
    r.right = pt.x;
    r.bottom = pt.y;
    int nHeight = DrawTextA(hdc, pszText, -1, &r, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
    pt.x = r.right;
    pt.y = nHeight;
    LPtoDP(hdc, &pt, 1);
    ReleaseDC(hText, hdc);
    *plWidth = pt.x;
    *plHeight = pt.y;
}

RECT ToClient(HWND hDlg, RECT r)
{
    MapWindowPoints(NULL, hDlg, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

// One window's outcome: "got" and "want" as x,y,cx,cy. Returns whether they agree.
bool Report(int nCall, const char *pszWhat, const RECT &rGot, const WindowPlacement &want, const RECT &rBefore)
{
    char szWant[80];
    if (want.bMove)
        sprintf(szWant, "%d,%d,%d,%d", want.x, want.y, want.cx, want.cy);
    else
        sprintf(szWant, "%ld,%ld,%ld,%ld", (long)rBefore.left, (long)rBefore.top,
                (long)(rBefore.right - rBefore.left), (long)(rBefore.bottom - rBefore.top));
    char szGot[80];
    sprintf(szGot, "%ld,%ld,%ld,%ld", (long)rGot.left, (long)rGot.top, (long)(rGot.right - rGot.left),
            (long)(rGot.bottom - rGot.top));
    const bool bSame = strcmp(szGot, szWant) == 0;
    printf("call%d %s got=%s want=%s%s\n", nCall, pszWhat, szGot, szWant, want.bMove ? "" : " (unmoved)");
    return bSame;
}

HICON ExpectedIcon(LONG lIconType, HICON hUnchanged)
{
    static const WORD rgw[] = {32516, 32515, 32513, 32514};
    if (static_cast<DWORD>(lIconType) > 3)
        return hUnchanged;
    return LoadIconA(NULL, MAKEINTRESOURCEA(rgw[lIconType]));
}

bool LayOut(const TelvaridApi *pApi, HWND hDlg, int nCall, const char *pszText, LONG lIconType, LONG lButtonMode,
            int nIDFocus)
{
    HWND hText = GetDlgItem(hDlg, 201);
    Rects before;
    ReadRects(hDlg, &before);
    RECT rClient;
    GetClientRect(hText, &rClient);

    TextDialogLayoutInput in;
    memset(&in, 0, sizeof in);
    Measure(hText, pszText, &in.lTextWidth, &in.lTextHeight);
    in.rTextRect = before.rText;
    in.rDlgRect = before.rDlg;
    in.rOKRect = before.rOK;
    in.rCancelRect = before.rCancel;
    in.rExtraRect = before.rExtra;
    in.bHasOK = TRUE;
    in.bHasCancel = !IsOneButtonMode(lButtonMode);
    in.bHasExtra = TRUE;
    in.lCXDlgFrame = GetSystemMetrics(SM_CXDLGFRAME);
    in.lCYDlgFrame = GetSystemMetrics(SM_CYDLGFRAME);
    in.lCYMenu = GetSystemMetrics(SM_CYMENU);
    in.lButtonMode = lButtonMode;
    TextDialogLayout want;
    ComputeTextDialogLayout(&in, &want);
    printf("call%d client_width=%ld measured=%ldx%ld\n", nCall, (long)rClient.right, (long)in.lTextWidth,
           (long)in.lTextHeight);

    // Unmoved controls must stay where they were inside the dialog.
    const RECT rIconBefore = ToClient(hDlg, before.rIcon);
    const RECT rTextBefore = ToClient(hDlg, before.rText);
    const RECT rOKBefore = ToClient(hDlg, before.rOK);
    const RECT rCancelBefore = ToClient(hDlg, before.rCancel);
    const RECT rExtraBefore = ToClient(hDlg, before.rExtra);

    // The focus starts on control 202, so the result must be that control.
    SetFocus(GetDlgItem(hDlg, 202));
    HWND hFocusBefore = GetFocus();
    HICON hAppIcon = LoadIconA(NULL, MAKEINTRESOURCEA(32512));
    SendDlgItemMessageA(hDlg, 200, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(hAppIcon));

    HWND hResult = pApi->pfnInitTextDialog(hDlg, pszText, lIconType, lButtonMode, nIDFocus);
    Pump(50);

    Rects after;
    ReadRects(hDlg, &after);
    bool bMatch = true;
    const WindowPlacement stay = {FALSE, 0, 0, 0, 0}; // the icon control never moves
    bMatch &= Report(nCall, "icon", ToClient(hDlg, after.rIcon), stay, rIconBefore);
    bMatch &= Report(nCall, "text", ToClient(hDlg, after.rText), want.text, rTextBefore);
    bMatch &= Report(nCall, "ok", ToClient(hDlg, after.rOK), want.ok, rOKBefore);
    bMatch &= Report(nCall, "cancel", ToClient(hDlg, after.rCancel), want.cancel, rCancelBefore);
    bMatch &= Report(nCall, "extra", ToClient(hDlg, after.rExtra), want.extra, rExtraBefore);
    bMatch &= Report(nCall, "dialog", after.rDlg, want.dlg, before.rDlg);
    printf("layout%d=%s\n", nCall, bMatch ? "match" : "mismatch");

    char szText[1024] = "";
    GetWindowTextA(hText, szText, sizeof szText);
    const bool bTextSet = strcmp(szText, pszText) == 0;
    printf("text%d=%s\n", nCall, bTextSet ? "set" : "wrong");

    HICON hIcon = reinterpret_cast<HICON>(SendDlgItemMessageA(hDlg, 200, STM_GETIMAGE, IMAGE_ICON, 0));
    const bool bIconOK = hIcon != NULL && hIcon == ExpectedIcon(lIconType, hAppIcon);
    printf("icon%d=%s %s\n", nCall, bIconOK ? "ok" : "wrong", hIcon == hAppIcon ? "unchanged" : "replaced");

    HWND hFocusNow = GetFocus();
    HWND hFocusWanted = GetDlgItem(hDlg, nIDFocus);
    const bool bFocusOK = hFocusBefore != NULL && hResult == hFocusBefore && hFocusNow == hFocusWanted;
    printf("focus%d=%s result=%s now=%s\n", nCall, bFocusOK ? "ok" : "wrong",
           hResult == hFocusBefore ? "previous" : "other", hFocusNow == NULL ? "none" : "control");
    return bMatch && bTextSet && bIconOK && bFocusOK;
}

int RunDialog(const TelvaridApi *pApi, int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: tvrhost dialog TEXT ICON MODE [FOCUSID] [--hold MS]\n");
        return 2;
    }
    static char szText[2048];
    strncpy(szText, argv[0], sizeof szText - 1);
    UnescapeText(szText);
    const LONG lIconType = atol(argv[1]);
    const LONG lButtonMode = atol(argv[2]);
    int nIDFocus = IDOK;
    DWORD dwHold = 0;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--hold") == 0 && i + 1 < argc)
            dwHold = strtoul(argv[++i], NULL, 10);
        else
            nIDFocus = atoi(argv[i]);
    }

    MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), HostDialogProc, 0);
    if (!hDlg) {
        printf("create=failed error=%lu\n", GetLastError());
        return 1;
    }
    // A setup program that asks for one button hides the second one; it stays in the
    // dialog, so that the check that it does not move still means something.
    if (IsOneButtonMode(lButtonMode))
        ShowWindow(GetDlgItem(hDlg, IDCANCEL), SW_HIDE);
    ShowWindow(hDlg, SW_SHOW);
    SetForegroundWindow(hDlg);
    Pump(100);
    printf("metrics cxdlgframe=%d cydlgframe=%d cymenu=%d cycaption=%d\n", GetSystemMetrics(SM_CXDLGFRAME),
           GetSystemMetrics(SM_CYDLGFRAME), GetSystemMetrics(SM_CYMENU), GetSystemMetrics(SM_CYCAPTION));

    bool bOK = LayOut(pApi, hDlg, 1, szText, lIconType, lButtonMode, nIDFocus);
    RECT rFirst;
    GetClientRect(GetDlgItem(hDlg, 201), &rFirst);
    bOK &= LayOut(pApi, hDlg, 2, szText, lIconType, lButtonMode, nIDFocus);

    // The second measurement is bounded by the width the first call gave the control.
    LONG lWidth2, lHeight2;
    Measure(GetDlgItem(hDlg, 201), szText, &lWidth2, &lHeight2);
    printf("wrap2=%s first_width=%ld second_width=%ld\n", lWidth2 <= rFirst.right ? "within" : "beyond",
           (long)rFirst.right, (long)lWidth2);

    if (dwHold) {
        RECT r;
        GetWindowRect(hDlg, &r);
        InvalidateRect(hDlg, NULL, TRUE);
        Pump(300);
        printf("shown=1 screen=%ld,%ld,%ld,%ld\n", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
        fflush(stdout);
        Pump(dwHold);
    }
    DestroyWindow(hDlg);
    printf("result=%s\n", bOK ? "pass" : "fail");
    return bOK ? 0 : 1;
}

void PrintPlacement(const char *pszWhat, const WindowPlacement &p)
{
    if (p.bMove)
        printf(" %s=%d,%d,%d,%d", pszWhat, p.x, p.y, p.cx, p.cy);
}

int RunExample(const TelvaridApi *, int, char **)
{
    for (LONG lMode = 1; lMode <= 2; ++lMode) {
        TextDialogLayoutInput in;
        memset(&in, 0, sizeof in);
        in.rTextRect = RECT{150, 140, 350, 180};
        in.rDlgRect = RECT{100, 100, 500, 300};
        in.rOKRect = RECT{200, 250, 275, 273};
        in.rCancelRect = RECT{290, 250, 365, 273};
        in.rExtraRect = RECT{110, 280, 200, 296};
        in.bHasOK = in.bHasCancel = in.bHasExtra = TRUE;
        in.lTextWidth = 250;
        in.lTextHeight = 39;
        in.lCXDlgFrame = 3;
        in.lCYDlgFrame = 3;
        in.lCYMenu = 19;
        in.lButtonMode = lMode;
        TextDialogLayout out;
        ComputeTextDialogLayout(&in, &out);
        printf("example mode=%ld", (long)lMode);
        PrintPlacement("text", out.text);
        PrintPlacement("ok", out.ok);
        PrintPlacement("cancel", out.cancel);
        PrintPlacement("extra", out.extra);
        PrintPlacement("dialog", out.dlg);
        printf("\n");
    }
    return 0;
}

} // namespace

TVR_HOST_VERB(dialog, "dialog", RunDialog);
TVR_HOST_VERB(dialogexample, "dialog-example", RunExample);
