// "dialog": lays out a real message dialog through the loaded telvarid.dll, twice on the
// same dialog (the second call starts from the first one's result), and prints what the
// suite needs to judge the layout on its own: the raw window rectangles before and after
// each call, the dialog's client origin and size, the text extent measured in the DC's
// font and in the text control's own font (within the control's width, and within the
// width the DC's font measured), and after the call what the text needs in the
// control's font at its new width. The host computes no expected layout; the suite
// does that from these numbers with its own formula. The host itself checks only what
// needs no layout: the text, the icon, the focus and the second call's wrap.
//
//   tvrhost dialog TEXT ICON MODE [FOCUSID] [--points N] [--hold MS] [--without-202] [--wide]
//               [--null]
//     TEXT may hold \n and \t; FOCUSID defaults to 1; --points gives the dialog font's
//     size (8); --hold keeps the dialog shown for MS milliseconds after printing
//     "shown=1" (for a screenshot); --without-202 destroys control 202 before the calls
//     (its rectangle is then printed as "extra=none"); --wide lays the text out through
//     TVRInitTextDialogW, TEXT then read from the UTF-16 command line (any script), and
//     measures it with the wide-character functions; --null passes a null text to the
//     entry instead of TEXT (give "" as TEXT: the host measures and checks that).
//
// Output, per call N (rectangles as left,top,right,bottom in screen coordinates):
//   callN before dlg=R origin=X,Y client=W,H icon=R text=R ok=R cancel=R extra=R
//   callN measure bound=W,H system=W,H font=W,H|none [fontat=W,H]
//                                     fontat: in the control's font within the
//                                     rectangle the DC's font measured (system=W,H)
//   callN after  (as before)
//   callN shows need=W,H have=W,H     the text in the control's font at its new width,
//                                     and the control's client size
//
//   tvrhost dialog-init RETURN
//     a dialog procedure that calls TVRInitTextDialog in WM_INITDIALOG with the focus
//     asked for on button 2 and returns RETURN (0 or 1) from it; prints
//     "init_focus=control N" for where the focus ends once the dialog is shown.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Host.h"

#include <shellapi.h>
#include "tools/tvrprobe/MessageDialogTemplate.h"
#include "tools/tvrprobe/UnescapeText.h"

namespace {

const UINT uMeasureFormat = DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK; // as a static control wraps
const int rgnControls[] = {200, 201, IDOK, IDCANCEL, 202};
const char *const rgpszControls[] = {"icon", "text", "ok", "cancel", "extra"};

// The message as the entry under test takes it: 8-bit, or UTF-16 when pszWide is set.
struct HostText {
    const char *pszAnsi;
    const WCHAR *pszWide;
    bool bPassNull; // the entry is given NULL; the host measures and checks the text above
};

int DrawHostText(HDC hdc, const HostText *pText, RECT *pr, UINT uFormat)
{
    return pText->pszWide ? DrawTextW(hdc, pText->pszWide, -1, pr, uFormat)
                          : DrawTextA(hdc, pText->pszAnsi, -1, pr, uFormat);
}

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

void PrintRect(const char *pszName, const RECT &r)
{
    printf(" %s=%ld,%ld,%ld,%ld", pszName, (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
}

// One line of raw geometry: the dialog's window rectangle, its client area's screen
// origin and size, and every control's window rectangle.
void PrintGeometry(HWND hDlg, int nCall, const char *pszWhen)
{
    RECT r;
    GetWindowRect(hDlg, &r);
    POINT ptOrigin = {0, 0};
    ClientToScreen(hDlg, &ptOrigin);
    RECT rClient;
    GetClientRect(hDlg, &rClient);
    printf("call%d %s", nCall, pszWhen);
    PrintRect("dlg", r);
    printf(" origin=%ld,%ld client=%ld,%ld", (long)ptOrigin.x, (long)ptOrigin.y, (long)rClient.right,
           (long)rClient.bottom);
    for (size_t i = 0; i < sizeof rgnControls / sizeof rgnControls[0]; ++i) {
        HWND hControl = GetDlgItem(hDlg, rgnControls[i]);
        if (hControl == NULL) {
            printf(" %s=none", rgpszControls[i]);
            continue;
        }
        GetWindowRect(hControl, &r);
        PrintRect(rgpszControls[i], r);
    }
    printf("\n");
}

// Word-wrapped extent of the text within the width lBound (device units), in the font
// the DC holds, back in device units.
void MeasureIn(HDC hdc, const HostText *pText, LONG lBound, LONG lBoundHeight, LONG *plWidth, LONG *plHeight)
{
    POINT pt = {lBound, lBoundHeight};
    DPtoLP(hdc, &pt, 1);
    RECT r = {0, 0, pt.x, pt.y};
    const int nHeight = DrawHostText(hdc, pText, &r, uMeasureFormat);
    pt.x = r.right;
    pt.y = nHeight;
    LPtoDP(hdc, &pt, 1);
    *plWidth = pt.x;
    *plHeight = pt.y;
}

// The text in the text control's DC, first in the font the DC comes with, then in the
// control's own font (WM_GETFONT), within the control's client rectangle and within
// the width and height the first measurement gave.
void PrintMeasure(HWND hText, int nCall, const HostText *pText)
{
    RECT rClient;
    GetClientRect(hText, &rClient);
    HDC hdc = GetDC(hText);
    LONG lWidth, lHeight;
    MeasureIn(hdc, pText, rClient.right, rClient.bottom, &lWidth, &lHeight);
    printf("call%d measure bound=%ld,%ld system=%ld,%ld", nCall, (long)rClient.right, (long)rClient.bottom,
           (long)lWidth, (long)lHeight);
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hText, WM_GETFONT, 0, 0));
    if (hFont) {
        const LONG lSystemWidth = lWidth;
        const LONG lSystemHeight = lHeight;
        HGDIOBJ hOld = SelectObject(hdc, hFont);
        MeasureIn(hdc, pText, rClient.right, rClient.bottom, &lWidth, &lHeight);
        printf(" font=%ld,%ld", (long)lWidth, (long)lHeight);
        MeasureIn(hdc, pText, lSystemWidth, lSystemHeight, &lWidth, &lHeight);
        printf(" fontat=%ld,%ld\n", (long)lWidth, (long)lHeight);
        SelectObject(hdc, hOld);
    } else {
        printf(" font=none\n");
    }
    ReleaseDC(hText, hdc);
}

// After the call: what the text needs in the font the control draws with, wrapped at
// the control's new client width, against the control's client size.
void PrintShows(HWND hText, int nCall, const HostText *pText)
{
    RECT rClient;
    GetClientRect(hText, &rClient);
    HDC hdc = GetDC(hText);
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hText, WM_GETFONT, 0, 0));
    HGDIOBJ hOld = hFont ? SelectObject(hdc, hFont) : NULL;
    LONG lWidth, lHeight;
    MeasureIn(hdc, pText, rClient.right, rClient.bottom, &lWidth, &lHeight);
    if (hOld)
        SelectObject(hdc, hOld);
    ReleaseDC(hText, hdc);
    printf("call%d shows need=%ld,%ld have=%ld,%ld\n", nCall, (long)lWidth, (long)lHeight, (long)rClient.right,
           (long)rClient.bottom);
}

HICON ExpectedIcon(LONG lIconType, HICON hUnchanged)
{
    static const WORD rgw[] = {32516, 32515, 32513, 32514};
    if (static_cast<DWORD>(lIconType) > 3)
        return hUnchanged;
    return LoadIconA(NULL, MAKEINTRESOURCEA(rgw[lIconType]));
}

bool LayOut(const TelvaridApi *pApi, HWND hDlg, int nCall, const HostText *pText, LONG lIconType, LONG lButtonMode,
            int nIDFocus)
{
    HWND hText = GetDlgItem(hDlg, 201);

    // The starting state first: the focus on control 202, or on control 201 in a dialog
    // without 202 (so the result must be that control), and the application icon in
    // control 200. An icon static sizes itself to its new icon, so the rectangles are
    // read only after this.
    SetFocus(GetDlgItem(hDlg, 202) ? GetDlgItem(hDlg, 202) : hText);
    HWND hFocusBefore = GetFocus();
    HICON hAppIcon = LoadIconA(NULL, MAKEINTRESOURCEA(32512));
    SendDlgItemMessageA(hDlg, 200, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(hAppIcon));
    Pump(20);

    PrintGeometry(hDlg, nCall, "before");
    PrintMeasure(hText, nCall, pText);

    HWND hResult = NULL;
    if (pText->pszWide) {
        // Resolved from the loaded library by name, as a setup program does.
        PFN_TVRINITTEXTDIALOGW pfnWide = reinterpret_cast<PFN_TVRINITTEXTDIALOGW>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("telvarid.dll"), "TVRInitTextDialogW")));
        if (pfnWide == NULL) {
            printf("wide=missing\n");
            return false;
        }
        hResult = pfnWide(hDlg, pText->bPassNull ? NULL : pText->pszWide, lIconType, lButtonMode, nIDFocus);
    } else {
        hResult = pApi->pfnInitTextDialog(hDlg, pText->bPassNull ? NULL : pText->pszAnsi, lIconType, lButtonMode,
                                          nIDFocus);
    }
    Pump(50);

    PrintGeometry(hDlg, nCall, "after");
    PrintShows(hText, nCall, pText);

    bool bTextSet;
    if (pText->pszWide) {
        WCHAR szText[1024] = {0};
        GetWindowTextW(hText, szText, sizeof szText / sizeof szText[0]);
        bTextSet = lstrcmpW(szText, pText->pszWide) == 0;
    } else {
        char szText[1024] = "";
        GetWindowTextA(hText, szText, sizeof szText);
        bTextSet = strcmp(szText, pText->pszAnsi) == 0;
    }
    printf("text%d=%s\n", nCall, bTextSet ? "set" : "wrong");

    HICON hIcon = reinterpret_cast<HICON>(SendDlgItemMessageA(hDlg, 200, STM_GETIMAGE, IMAGE_ICON, 0));
    const bool bIconOK = hIcon != NULL && hIcon == ExpectedIcon(lIconType, hAppIcon);
    printf("icon%d=%s %s\n", nCall, bIconOK ? "ok" : "wrong", hIcon == hAppIcon ? "unchanged" : "replaced");

    HWND hFocusNow = GetFocus();
    HWND hFocusWanted = GetDlgItem(hDlg, nIDFocus);
    const bool bFocusOK = hFocusBefore != NULL && hResult == hFocusBefore && hFocusNow == hFocusWanted;
    printf("focus%d=%s result=%s now=%s\n", nCall, bFocusOK ? "ok" : "wrong",
           hResult == hFocusBefore ? "previous" : "other", hFocusNow == NULL ? "none" : "control");
    return bTextSet && bIconOK && bFocusOK;
}

int RunDialog(const TelvaridApi *pApi, int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr,
                "usage: tvrhost dialog TEXT ICON MODE [FOCUSID] [--points N] [--hold MS] [--without-202] [--wide] [--null]\n");
        return 2;
    }
    static char szText[2048];
    strncpy(szText, argv[0], sizeof szText - 1);
    UnescapeText(szText);
    const LONG lIconType = atol(argv[1]);
    const LONG lButtonMode = atol(argv[2]);
    int nIDFocus = IDOK;
    DWORD dwHold = 0;
    WORD wPoints = 8;
    bool bWithout202 = false;
    bool bWide = false;
    bool bNull = false;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--without-202") == 0)
            bWithout202 = true;
        else if (strcmp(argv[i], "--wide") == 0)
            bWide = true;
        else if (strcmp(argv[i], "--null") == 0)
            bNull = true;
        else if (strcmp(argv[i], "--hold") == 0 && i + 1 < argc)
            dwHold = strtoul(argv[++i], NULL, 10);
        else if (strcmp(argv[i], "--points") == 0 && i + 1 < argc)
            wPoints = static_cast<WORD>(atoi(argv[++i]));
        else
            nIDFocus = atoi(argv[i]);
    }

    HostText text = {szText, NULL, bNull};
    // The 8-bit argv has lost every character outside the ANSI code page: the wide text
    // is the argument after the verb on the UTF-16 command line, unescaped the same way.
    static WCHAR szWide[2048];
    if (bWide) {
        int nArgs = 0;
        LPWSTR *ppszArgs = HostWideArgs(&nArgs);
        for (int i = 0; ppszArgs != NULL && i + 1 < nArgs; ++i) {
            if (lstrcmpW(ppszArgs[i], L"dialog") == 0) {
                lstrcpynW(szWide, ppszArgs[i + 1], sizeof szWide / sizeof szWide[0]);
                break;
            }
        }
        WCHAR *pOut = szWide;
        for (const WCHAR *p = szWide; *p; ++p) {
            if (p[0] == L'\\' && (p[1] == L'n' || p[1] == L't')) {
                *pOut++ = p[1] == L'n' ? L'\n' : L'\t';
                ++p;
            } else {
                *pOut++ = *p;
            }
        }
        *pOut = 0;
        text.pszWide = szWide;
    }

    MessageDialogTemplate tmpl(wPoints);
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), HostDialogProc, 0);
    if (!hDlg) {
        printf("create=failed error=%lu\n", GetLastError());
        return 1;
    }
    if (bWithout202)
        DestroyWindow(GetDlgItem(hDlg, 202));
    // A setup program that asks for one button hides the second one; it stays in the
    // dialog, so that the check that it does not move still means something.
    if (lButtonMode == 1)
        ShowWindow(GetDlgItem(hDlg, IDCANCEL), SW_HIDE);
    ShowWindow(hDlg, SW_SHOW);
    SetForegroundWindow(hDlg);
    Pump(100);
    printf("metrics cxdlgframe=%d cydlgframe=%d cymenu=%d cycaption=%d\n", GetSystemMetrics(SM_CXDLGFRAME),
           GetSystemMetrics(SM_CYDLGFRAME), GetSystemMetrics(SM_CYMENU), GetSystemMetrics(SM_CYCAPTION));
    printf("args mode=%ld points=%u\n", (long)lButtonMode, (unsigned)wPoints);

    bool bOK = LayOut(pApi, hDlg, 1, &text, lIconType, lButtonMode, nIDFocus);
    RECT rFirst;
    GetClientRect(GetDlgItem(hDlg, 201), &rFirst);
    bOK &= LayOut(pApi, hDlg, 2, &text, lIconType, lButtonMode, nIDFocus);

    // The second measurement is bounded by the width the first call gave the control.
    HWND hText = GetDlgItem(hDlg, 201);
    HDC hdc = GetDC(hText);
    LONG lWidth2, lHeight2;
    MeasureIn(hdc, &text, rFirst.right, rFirst.bottom, &lWidth2, &lHeight2);
    ReleaseDC(hText, hdc);
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

const TelvaridApi *g_pInitApi = NULL;

// Lays the dialog out while the dialog manager sets it up, as a setup program does, and
// answers WM_INITDIALOG with the value passed as lParam.
INT_PTR CALLBACK InitDialogProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam)
{
    if (uMsg != WM_INITDIALOG)
        return FALSE;
    g_pInitApi->pfnInitTextDialog(hDlg, "Modem found.", 0, 2, IDCANCEL);
    return static_cast<INT_PTR>(lParam);
}

int RunInitDialog(const TelvaridApi *pApi, int argc, char **argv)
{
    if (argc < 1) {
        fprintf(stderr, "usage: tvrhost dialog-init RETURN\n");
        return 2;
    }
    g_pInitApi = pApi;
    MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), InitDialogProc, atoi(argv[0]));
    if (!hDlg) {
        printf("create=failed error=%lu\n", GetLastError());
        return 1;
    }
    ShowWindow(hDlg, SW_SHOW);
    SetForegroundWindow(hDlg);
    Pump(100);
    HWND hFocus = GetFocus();
    if (hFocus && IsChild(hDlg, hFocus))
        printf("init_focus=control %d\n", GetDlgCtrlID(hFocus));
    else
        printf("init_focus=%s\n", hFocus == hDlg ? "dialog" : hFocus ? "elsewhere" : "none");
    DestroyWindow(hDlg);
    return 0;
}

} // namespace

TVR_HOST_VERB(dialog, "dialog", RunDialog);
TVR_HOST_VERB(dialoginit, "dialog-init", RunInitDialog);
