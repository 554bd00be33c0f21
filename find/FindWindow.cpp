// The find's modal window (only with an owner):
//
//   OpenFindWindow     message font (NONCLIENTMETRICS), measured on the screen DC ->
//                      LayOutFindWindow -> class, window and controls, centred on the
//                      owner -> owner disabled -> shown, focus on Cancel
//   WaitPumping        MsgWaitForMultipleObjects on the probes' threads and the input
//                      queue; PeekMessage / IsDialogMessage (Tab, Enter, Esc) /
//                      DispatchMessage; a WM_QUIT ends the search and is kept
//   CloseFindWindow    owner enabled -> window destroyed -> font deleted -> class
//                      unregistered -> WM_QUIT posted again
//
// The window is an ordinary popup of a class of the library's own, registered for the
// call and unregistered before it returns, so that nothing of it outlives the call and
// FreeLibrary right after it is safe.
#include <windows.h>
#include <string.h>

#include "find/FindLayout.h"
#include "find/FindWindow.h"

// The module the window class belongs to: this DLL (the linker's own symbol for its
// image base, so the library needs no DllMain state and no extra import).
extern "C" IMAGE_DOS_HEADER __ImageBase;

static const WCHAR kClassName[] = L"TelvaridFindModem";
static const WCHAR kDefaultMessage[] = L"Looking for a modem on COM1, COM2, COM3 and COM4. "
                                       L"This takes up to ten seconds.";
static const WCHAR kDefaultTitle[] = L"Modem";
static const WCHAR kCancelText[] = L"Cancel";
static const DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
static const DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
static const DWORD kStaticStyle = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
static const int kTitleChars = 128;    // the owner's title, cut short beyond this
static const int kLineChars = 40;      // "COM4: in use by another program" and its zero fit

// The window of the call in progress, for the window procedure. TVRFindModem runs one
// call at a time (a second concurrent call is refused before it gets here), and the
// pointer is cleared before the call returns: nothing is kept between calls.
static FindProgress *g_lpOpenWindow = NULL;

static LRESULT CALLBACK FindWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    FindProgress *lpWindow = g_lpOpenWindow;
    switch (uMsg) {
    case WM_COMMAND:
        // The Cancel button, Enter on it, or Esc through IsDialogMessage.
        if (LOWORD(wParam) == IDCANCEL && lpWindow != NULL)
            lpWindow->bCancelled = TRUE;
        return 0;
    case WM_CLOSE:
        // The window stays until the search has ended and the owner is enabled again.
        if (lpWindow != NULL)
            lpWindow->bCancelled = TRUE;
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

// The system's message font (the one MessageBox uses), at the system's DPI. The size
// given excludes the member Vista added, which older systems refuse and newer accept.
// NULL where the system names none: the controls then keep the system font, in which
// the message is measured too.
static HFONT CreateMessageFont()
{
    NONCLIENTMETRICSW ncm;
    memset(&ncm, 0, sizeof ncm);
    ncm.cbSize = (UINT)((const char *)&ncm.iPaddedBorderWidth - (const char *)&ncm);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0))
        return NULL;
    return CreateFontIndirectW(&ncm.lfMessageFont);
}

// Measures the font and the message on the screen's DC and lays the window out.
static void MeasureAndLayOut(HFONT hFont, LPCWSTR lpszMessage, FindLayout *lpLayout)
{
    FindMetrics metrics;
    metrics.cxAvgChar = 6;
    metrics.cyChar = 13;
    metrics.cyMessage = 13;
    HDC hdc = GetDC(NULL);
    if (hdc != NULL) {
        HGDIOBJ hOld = hFont != NULL ? SelectObject(hdc, hFont) : NULL;
        TEXTMETRICW tm;
        if (GetTextMetricsW(hdc, &tm) && tm.tmAveCharWidth > 0 && tm.tmHeight > 0) {
            metrics.cxAvgChar = tm.tmAveCharWidth;
            metrics.cyChar = tm.tmHeight;
        }
        // As the static control draws it: word-wrapped, tabs expanded, no prefixes.
        RECT rc = {0, 0, FindMessageWidth(metrics.cxAvgChar), 0};
        DrawTextW(hdc, lpszMessage, -1, &rc, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        metrics.cyMessage = rc.bottom - rc.top;
        if (hOld != NULL)
            SelectObject(hdc, hOld);
        ReleaseDC(NULL, hdc);
    }
    LayOutFindWindow(&metrics, lpLayout);
}

static HWND CreateChild(FindProgress *lpWindow, LPCWSTR lpszClass, LPCWSTR lpszText, DWORD dwStyle, const RECT *lprc,
                        int nId)
{
    HWND hwnd = CreateWindowExW(0, lpszClass, lpszText, dwStyle, lprc->left, lprc->top, lprc->right - lprc->left,
                                lprc->bottom - lprc->top, lpWindow->hwnd, (HMENU)(INT_PTR)nId,
                                lpWindow->hInstance, NULL);
    if (hwnd != NULL && lpWindow->hFont != NULL)
        SendMessageW(hwnd, WM_SETFONT, (WPARAM)lpWindow->hFont, FALSE);
    return hwnd;
}

BOOL OpenFindWindow(FindProgress *lpWindow, HWND hwndOwner, LPCWSTR lpszMessage)
{
    memset(lpWindow, 0, sizeof *lpWindow);
    lpWindow->hwndOwner = hwndOwner;
    lpWindow->hInstance = (HINSTANCE)&__ImageBase;
    if (lpszMessage == NULL)
        lpszMessage = kDefaultMessage;

    WNDCLASSEXW wc;
    memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FindWindowProc;
    wc.hInstance = lpWindow->hInstance;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc))
        return FALSE;
    g_lpOpenWindow = lpWindow;

    lpWindow->hFont = CreateMessageFont();
    FindLayout layout;
    MeasureAndLayOut(lpWindow->hFont, lpszMessage, &layout);

    RECT rcFrame = {0, 0, layout.cxClient, layout.cyClient};
    AdjustWindowRectEx(&rcFrame, kWindowStyle, FALSE, kWindowExStyle);
    const LONG cx = rcFrame.right - rcFrame.left;
    const LONG cy = rcFrame.bottom - rcFrame.top;
    RECT rcOwner, rcWork;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) {
        rcWork.left = 0;
        rcWork.top = 0;
        rcWork.right = GetSystemMetrics(SM_CXSCREEN);
        rcWork.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    if (!GetWindowRect(hwndOwner, &rcOwner) || IsIconic(hwndOwner))
        rcOwner = rcWork;
    POINT pt = CentreFindWindow(&rcOwner, cx, cy, &rcWork);

    // The installer's own title, so that the window speaks its language.
    WCHAR szTitle[kTitleChars];
    LPCWSTR lpszTitle = GetWindowTextW(hwndOwner, szTitle, kTitleChars) > 0 ? szTitle : kDefaultTitle;

    lpWindow->hwnd = CreateWindowExW(kWindowExStyle, kClassName, lpszTitle, kWindowStyle, pt.x, pt.y, cx, cy,
                                     hwndOwner, NULL, lpWindow->hInstance, NULL);
    if (lpWindow->hwnd == NULL) {
        CloseFindWindow(lpWindow);
        return FALSE;
    }
    CreateChild(lpWindow, L"STATIC", lpszMessage, kStaticStyle, &layout.rcMessage, -1);
    for (LONG i = 0; i < TVR_FIND_PORT_COUNT; ++i)
        lpWindow->rghwndLines[i] = CreateChild(lpWindow, L"STATIC", L"", kStaticStyle, &layout.rgrcLines[i], -1);
    HWND hwndCancel = CreateChild(lpWindow, L"BUTTON", kCancelText, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  &layout.rcCancel, IDCANCEL);

    // Modal as MessageBox is: the owner takes no input until the window goes.
    lpWindow->bOwnerWasDisabled = EnableWindow(hwndOwner, FALSE);
    ShowWindow(lpWindow->hwnd, SW_SHOW);
    if (hwndCancel != NULL)
        SetFocus(hwndCancel);
    return TRUE;
}

void ShowFindPort(FindProgress *lpWindow, LONG lIndex, FindPortState state, const CommProbe *lpProbe)
{
    if (lpWindow->hwnd == NULL || lIndex < 0 || lIndex >= TVR_FIND_PORT_COUNT)
        return;
    const WCHAR *lpszWhat;
    switch (state) {
    case kFindPortWaiting:
        lpszWhat = L"waiting";
        break;
    case kFindPortProbing:
        lpszWhat = L"asking...";
        break;
    case kFindPortAnswered:
        lpszWhat = L"a modem answered";
        break;
    case kFindPortStopped:
        lpszWhat = L"stopped";
        break;
    default:
        if (lpProbe != NULL && lpProbe->step == kProbeStepOpen)
            lpszWhat = lpProbe->dwError == ERROR_ACCESS_DENIED ? L"in use by another program" : L"no such port";
        else
            lpszWhat = L"nothing answered";
        break;
    }
    // "COMn: " and the state: the port numbers are one digit, and every state fits.
    WCHAR szLine[kLineChars];
    WCHAR *lpch = szLine;
    for (const char *lpsz = "COM"; *lpsz != '\0'; ++lpsz)
        *lpch++ = (WCHAR)*lpsz;
    *lpch++ = (WCHAR)(L'0' + lIndex + TVR_FIRST_SCAN_PORT);
    *lpch++ = L':';
    *lpch++ = L' ';
    while ((*lpch++ = *lpszWhat++) != L'\0') {
    }
    SetWindowTextW(lpWindow->rghwndLines[lIndex], szLine);
}

// Dispatches every message waiting for the thread. A WM_QUIT ends the search; it is
// kept and posted again once the window is gone, so the caller's own loop still sees it.
static void PumpMessages(FindProgress *lpWindow)
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            lpWindow->bQuit = TRUE;
            lpWindow->wQuitCode = msg.wParam;
            lpWindow->bCancelled = TRUE;
            return;
        }
        if (lpWindow->hwnd != NULL && IsDialogMessageW(lpWindow->hwnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

DWORD WaitPumping(FindProgress *lpWindow, DWORD cHandles, const HANDLE *rgHandles, BOOL bStopOnCancel)
{
    for (;;) {
        if (bStopOnCancel && lpWindow->bCancelled)
            return cHandles;
        // After a WM_QUIT no further message is taken: the caller's loop gets the rest.
        if (lpWindow->bQuit) {
            DWORD dwEnded = WaitForMultipleObjects(cHandles, rgHandles, FALSE, INFINITE);
            return dwEnded < WAIT_OBJECT_0 + cHandles ? dwEnded - WAIT_OBJECT_0 : WAIT_FAILED;
        }
        // Input that came before this wait began wakes it only through the pump.
        DWORD dwWait = MsgWaitForMultipleObjects(cHandles, rgHandles, FALSE, INFINITE, QS_ALLINPUT);
        if (dwWait < WAIT_OBJECT_0 + cHandles)
            return dwWait - WAIT_OBJECT_0;
        if (dwWait != WAIT_OBJECT_0 + cHandles)
            return WAIT_FAILED;
        PumpMessages(lpWindow);
    }
}

void CloseFindWindow(FindProgress *lpWindow)
{
    // In this order: an enabled owner takes the activation back when the window goes.
    if (!lpWindow->bOwnerWasDisabled && lpWindow->hwndOwner != NULL && lpWindow->hwnd != NULL)
        EnableWindow(lpWindow->hwndOwner, TRUE);
    if (lpWindow->hwnd != NULL)
        DestroyWindow(lpWindow->hwnd);
    lpWindow->hwnd = NULL;
    if (lpWindow->hFont != NULL)
        DeleteObject(lpWindow->hFont);
    lpWindow->hFont = NULL;
    UnregisterClassW(kClassName, lpWindow->hInstance);
    g_lpOpenWindow = NULL;
    if (lpWindow->bQuit)
        PostQuitMessage((int)lpWindow->wQuitCode);
}
