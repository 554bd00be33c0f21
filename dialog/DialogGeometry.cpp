// The message dialog's layout as pure arithmetic. Every quantity is a 64-bit value
// ("ll" prefix) while it is being formed: the rectangles come from the caller's windows
// and may hold any 32-bit coordinates, and a few of them added or subtracted can leave
// the 32-bit range. Only the final positions and sizes are brought back to int, by
// clamping, because that is what SetWindowPos takes.
#include "DialogGeometry.h"

static const long long llIntMax = 2147483647LL;     // largest value SetWindowPos accepts
static const long long llIntMin = -2147483647LL - 1; // smallest value SetWindowPos accepts
static const long long llTextPadding = 5;   // added below and beside the measured text
static const long long llRowGap = 10;       // between the text control and the button row
static const long long llExtraLeft = 10;    // client x of control 202 in the button row
static const long long llBottomMargin = 10; // below the button-height allowance

BOOL IsOneButtonMode(LONG lButtonMode)
{
    return lButtonMode == TVR_ONE_BUTTON_MODE;
}

static int ClampToInt(long long ll)
{
    if (ll > llIntMax)
        return static_cast<int>(llIntMax);
    if (ll < llIntMin)
        return static_cast<int>(llIntMin);
    return static_cast<int>(ll);
}

static long long WidthOf(const RECT *pr)
{
    return static_cast<long long>(pr->right) - pr->left;
}

static long long HeightOf(const RECT *pr)
{
    return static_cast<long long>(pr->bottom) - pr->top;
}

static void Place(WindowPlacement *pPlace, long long llX, long long llY, long long llCX, long long llCY)
{
    pPlace->bMove = TRUE;
    pPlace->x = ClampToInt(llX);
    pPlace->y = ClampToInt(llY);
    pPlace->cx = ClampToInt(llCX);
    pPlace->cy = ClampToInt(llCY);
}

static void Leave(WindowPlacement *pPlace)
{
    pPlace->bMove = FALSE;
    pPlace->x = 0;
    pPlace->y = 0;
    pPlace->cx = 0;
    pPlace->cy = 0;
}

void ComputeTextDialogLayout(const TextDialogLayoutInput *pIn, TextDialogLayout *pOut)
{
    const long long llTextWidth = pIn->lTextWidth;
    const long long llTextHeight = pIn->lTextHeight;

    // The text control's new top-left corner in dialog client coordinates: its screen
    // position less the dialog's frame and the menu-bar allowance for the caption.
    const long long llTextX = static_cast<long long>(pIn->rTextRect.left) - pIn->lCXDlgFrame - pIn->rDlgRect.left;
    const long long llTextY =
        static_cast<long long>(pIn->rTextRect.top) - pIn->lCYMenu - pIn->lCYDlgFrame - pIn->rDlgRect.top;
    Place(&pOut->text, llTextX, llTextY, llTextWidth, llTextHeight + llTextPadding);

    // One dialog-frame width is added, not two.
    const long long llDlgWidth = llTextX + pIn->lCXDlgFrame + llTextWidth + llTextPadding;

    // The button row: 15 pixels more than the text height below the text's top, centred
    // on the span from client x 0 to the right edge of the text control.
    const long long llRowTop = llTextY + (llTextHeight + llTextPadding) + llRowGap;
    const long long llRowSpan = llTextX + llTextWidth + llTextPadding;

    // The row height counts twice in the dialog's height (once for the row, once as
    // the allowance for the caption and frames); a row without a button adds none.
    long long llRowHeight = 0;
    Leave(&pOut->ok);
    Leave(&pOut->cancel);
    const BOOL bPair = !IsOneButtonMode(pIn->lButtonMode) && pIn->bHasOK && pIn->bHasCancel;
    if (bPair) {
        // Both buttons take button 1's size; button 2 keeps its horizontal distance
        // from button 1.
        const long long llXSize = WidthOf(&pIn->rOKRect);
        const long long llYSize = HeightOf(&pIn->rOKRect);
        const long long llPairWidth = static_cast<long long>(pIn->rCancelRect.right) - pIn->rOKRect.left;
        const long long llOKX = (llRowSpan - llPairWidth) / 2;
        const long long llCancelX = llOKX + (static_cast<long long>(pIn->rCancelRect.left) - pIn->rOKRect.left);
        Place(&pOut->ok, llOKX, llRowTop, llXSize, llYSize);
        Place(&pOut->cancel, llCancelX, llRowTop, llXSize, llYSize);
        llRowHeight = llYSize;
    } else if (pIn->bHasOK) {
        // One-button mode, or two-button mode on a dialog without button 2: button 1
        // is centred alone with its own size.
        const long long llXSize = WidthOf(&pIn->rOKRect);
        const long long llYSize = HeightOf(&pIn->rOKRect);
        Place(&pOut->ok, (llRowSpan - llXSize) / 2, llRowTop, llXSize, llYSize);
        llRowHeight = llYSize;
    } else if (!IsOneButtonMode(pIn->lButtonMode) && pIn->bHasCancel) {
        // Two-button mode on a dialog without button 1: button 2 is the row's only
        // button, so it is centred alone with its own size and gives the row height.
        const long long llXSize = WidthOf(&pIn->rCancelRect);
        const long long llYSize = HeightOf(&pIn->rCancelRect);
        Place(&pOut->cancel, (llRowSpan - llXSize) / 2, llRowTop, llXSize, llYSize);
        llRowHeight = llYSize;
    }

    if (pIn->bHasExtra)
        Place(&pOut->extra, llExtraLeft, llRowTop, WidthOf(&pIn->rExtraRect), HeightOf(&pIn->rExtraRect));
    else
        Leave(&pOut->extra);

    const long long llDlgHeight = llRowTop + llRowHeight + llRowHeight + pIn->lCYDlgFrame + llBottomMargin;

    // Centred on the dialog's old window rectangle; the divisions truncate toward zero.
    const long long llDlgX = pIn->rDlgRect.left + (WidthOf(&pIn->rDlgRect) - llDlgWidth) / 2;
    const long long llDlgY = pIn->rDlgRect.top + (HeightOf(&pIn->rDlgRect) - llDlgHeight) / 2;
    Place(&pOut->dlg, llDlgX, llDlgY, llDlgWidth, llDlgHeight);
}
