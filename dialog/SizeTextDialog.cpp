// SizeTextDialog: measures the message in the text control, then moves the text
// control, the buttons, control 202 and the dialog around it.
//
//   GetDlgItem(201) -> GetDC -> GetClientRect -> DPtoLP(right, bottom)
//     -> DrawTextA/W(DT_CALCRECT) -> LPtoDP(width, height)
//     -> [WM_GETFONT: SelectObject(font) -> DrawTextA/W within the measured rectangle
//         -> LPtoDP -> SelectObject(old)] -> ReleaseDC
//   GetWindowRect(201), GetWindowRect(dialog), the three metrics, buttons, control 202,
//     icon control 200 (read only: the layout keeps the button row clear of it)
//   ComputeTextDialogLayout
//   SetWindowPos(201), SetWindowTextA/W(201), SetWindowPos(1), [SetWindowPos(2)],
//     [SetWindowPos(202)], SetWindowPos(dialog)
//
// Every rectangle, and each of the three system metrics, is read once, before the first
// window moves: the layout is one computation over what the dialog looked like at the
// start. The 8-bit and the UTF-16 text take the same path and differ only in which of
// DrawTextA/DrawTextW and SetWindowTextA/SetWindowTextW they go to. The metrics are read together with the rectangles; a metric cannot change
// within the call, so reading it again where the layout uses it a second time would
// give the same value. The device context is given back before any window changes.
//
// What stops the layout, before anything moves: no control 201, no device context for
// it, a failed GetClientRect on it, or a failed GetWindowRect on control 201 or on the
// dialog. Nothing is ever computed from a rectangle that was never read. A button,
// control 202 or the icon control whose window rectangle can't be read counts as
// missing, like a control the dialog doesn't have. The icon control is read after the
// icon step has set its image (a static icon control takes its icon's size then) and is
// never moved.
#include <windows.h>
#include <string.h>

#include "DialogGeometry.h"
#include "TextDialog.h"

// Word-wrapped measurement with tabs expanded; nothing is drawn.
static const UINT uMeasureFormat = DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK;
// Position and size together, Z order untouched.
static const UINT uMoveFlags = SWP_NOZORDER;

// Measures the text word-wrapped within *prBound (logical units) in the font the device
// context holds, and converts the extent (the right edge DrawText leaves, the height it
// returns) to device units. *prBound is left as DrawText leaves it: the measured
// rectangle. Returns FALSE when DrawText fails.
static BOOL MeasureInSelectedFont(HDC hdc, const DialogText *pText, RECT *prBound, LONG *plWidth, LONG *plHeight)
{
    const int nHeight = pText->pszWide != NULL ? DrawTextW(hdc, pText->pszWide, -1, prBound, uMeasureFormat)
                                               : DrawTextA(hdc, pText->pszAnsi, -1, prBound, uMeasureFormat);
    POINT pt = {prBound->right, nHeight};
    LPtoDP(hdc, &pt, 1);
    *plWidth = pt.x;
    *plHeight = pt.y;
    return nHeight != 0;
}

// Measures the text word-wrapped within the text control's client width, in device
// units. Returns FALSE when there is no device context or no client rectangle; the
// device context is released on every path on which it was taken, and holds its own
// font again when it is.
//
// The context comes with the stock system font, not the font the control draws with.
// The layout is computed from the measurement in the context's font. The text is then
// measured again in the control's own font (WM_GETFONT), wrapped within the width the
// first measurement gave, which is the width the control will have: where it fits the
// control that the first measurement makes (that width, the height plus the padding),
// the first measurement stands unchanged; otherwise only the dimension that does not
// fit takes the second measurement (ChooseTextExtent). A wider bound never wraps into
// more lines, so a control widened for a long word still holds every line.
static BOOL MeasureDialogText(HWND hText, const DialogText *pText, LONG *plTextWidth, LONG *plTextHeight)
{
    HDC hdc = GetDC(hText);
    if (hdc == NULL)
        return FALSE;

    RECT rClient = {0, 0, 0, 0};
    const BOOL bMeasured = GetClientRect(hText, &rClient);
    if (bMeasured) {
        // Only the bottom-right corner is converted: left and top are 0 in both spaces
        // under the default mapping, and the width is what the wrap is bounded by.
        POINT pt = {rClient.right, rClient.bottom};
        DPtoLP(hdc, &pt, 1);
        rClient.right = pt.x;
        rClient.bottom = pt.y;
        // First in the font the context comes with; rClient becomes the measured
        // rectangle, in logical units.
        LONG lWidth = 0;
        LONG lHeight = 0;
        MeasureInSelectedFont(hdc, pText, &rClient, &lWidth, &lHeight);

        // Then in the control's own font, if it has one (NULL: it draws with the system
        // font, which the first measurement used), within the measured rectangle. The
        // context's font goes back before the context is released.
        LONG lFontWidth = 0;
        LONG lFontHeight = 0;
        BOOL bFontMeasured = FALSE;
        HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hText, WM_GETFONT, 0, 0));
        HGDIOBJ hOldFont = hFont != NULL ? SelectObject(hdc, hFont) : NULL;
        if (hOldFont != NULL) {
            bFontMeasured = MeasureInSelectedFont(hdc, pText, &rClient, &lFontWidth, &lFontHeight);
            SelectObject(hdc, hOldFont);
        }
        ChooseTextExtent(lWidth, lHeight, bFontMeasured, lFontWidth, lFontHeight, plTextWidth, plTextHeight);
    }
    ReleaseDC(hText, hdc);
    return bMeasured;
}

// Looks up control nID and reads its window rectangle. A control that is missing, or
// whose rectangle can't be read, counts as absent: nothing is computed from it.
static BOOL ReadControlRect(HWND hDlg, int nID, HWND *phControl, RECT *pr)
{
    *phControl = GetDlgItem(hDlg, nID);
    if (*phControl == NULL)
        return FALSE;
    return GetWindowRect(*phControl, pr);
}

static void ApplyPlacement(HWND hWnd, const WindowPlacement *pPlace)
{
    if (pPlace->bMove)
        SetWindowPos(hWnd, NULL, pPlace->x, pPlace->y, pPlace->cx, pPlace->cy, uMoveFlags);
}

void SizeTextDialog(HWND hDlg, const DialogText *pText, LONG lButtonMode)
{
    HWND hText = GetDlgItem(hDlg, TVR_ID_TEXT);
    if (hText == NULL)
        return;

    TextDialogLayoutInput in;
    memset(&in, 0, sizeof in);
    if (!MeasureDialogText(hText, pText, &in.lTextWidth, &in.lTextHeight))
        return;

    // Without these two rectangles there is nothing to place the windows from.
    if (!GetWindowRect(hText, &in.rTextRect) || !GetWindowRect(hDlg, &in.rDlgRect))
        return;
    // Each metric once, here, however often the layout uses it.
    in.lCXDlgFrame = GetSystemMetrics(SM_CXDLGFRAME);
    // The caption is allowed for with the menu-bar height, as the dialogs this lays
    // out were designed with.
    in.lCYMenu = GetSystemMetrics(SM_CYMENU);
    in.lCYDlgFrame = GetSystemMetrics(SM_CYDLGFRAME);
    in.lButtonMode = lButtonMode;

    HWND hOK = NULL;
    HWND hCancel = NULL;
    HWND hExtra = NULL;
    in.bHasOK = ReadControlRect(hDlg, TVR_ID_BUTTON1, &hOK, &in.rOKRect);
    // In one-button mode control 2 is neither looked up nor touched.
    if (!IsOneButtonMode(lButtonMode))
        in.bHasCancel = ReadControlRect(hDlg, TVR_ID_BUTTON2, &hCancel, &in.rCancelRect);
    in.bHasExtra = ReadControlRect(hDlg, TVR_ID_EXTRA, &hExtra, &in.rExtraRect);
    // Its window rectangle in screen coordinates; the layout turns it into client
    // coordinates as it does the text control's corner.
    HWND hIcon = NULL;
    in.bHasIcon = ReadControlRect(hDlg, TVR_ID_ICON, &hIcon, &in.rIconRect);

    TextDialogLayout out;
    ComputeTextDialogLayout(&in, &out);

    ApplyPlacement(hText, &out.text);
    if (pText->pszWide != NULL)
        SetWindowTextW(hText, pText->pszWide);
    else
        SetWindowTextA(hText, pText->pszAnsi);
    ApplyPlacement(hOK, &out.ok);
    ApplyPlacement(hCancel, &out.cancel);
    ApplyPlacement(hExtra, &out.extra);
    ApplyPlacement(hDlg, &out.dlg);
}
