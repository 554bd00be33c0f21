// The message dialog's layout as pure arithmetic. Every quantity is a 64-bit value
// ("ll" prefix) while it is being formed: the rectangles come from the caller's windows
// and may hold any 32-bit coordinates, and a few of them added or subtracted can leave
// the 32-bit range. Only the final positions and sizes are brought back to int, by
// clamping, because that is what SetWindowPos takes.
//
// The measured text the layout starts from is chosen here too (ChooseTextExtent): the
// measurement in the device context's font stands wherever the text, measured again in
// the control's own font within that measurement's width, fits the control it makes;
// only a dimension that does not fit takes the control font's measurement.
//
// The layout is computed in two passes. The first places every window by the fixed
// rules (text control, button row centred under it, control 202 at the row's left end,
// dialog sized around them). That result is kept, to the pixel, whenever every placed
// window lies inside the dialog's client area and no two of them overlap. A short text
// breaks that: the row span shrinks with the text, so a pair of buttons wider than the
// span starts left of the client area, runs past its right edge and lies over control
// 202. Only then is the row mended: the text control's corner is kept inside the client
// area, the buttons keep their order and spacing (pulled apart if they overlapped) but
// move right of control 202, and the dialog grows to hold the row.
//
// The icon (control 200) is never moved, but the row must not lie over it either. In the
// usual template the icon stands beside the text's first line and reaches below a
// one-line text, so a row 10 pixels under such a text lies over the icon's bottom rows
// (control 202 at x = 10 always sits under an icon at the left). A button or control 202
// over the icon therefore also makes the fixed rules' result fail, and the mend then
// moves the whole row down until its top is one row gap below the icon's bottom, the
// same distance the rules keep between the text and the row. The text control is not
// checked against the icon: where the template puts the one over the other, only
// moving one of them could part them, and neither is moved for this.
//
// A mend changes across only what fails across. Where the fixed rules' text control and
// every control of the row already lie inside the client area's width, and no two
// controls of the row overlap, the row fits across: what failed is the icon, the client
// area's height, or the text control's corner above the client area. Then every x and
// the dialog's width and left edge stay the fixed rules' to the pixel, and the mend moves
// the row down (below the text control, and below the icon where it would lie over it)
// and makes the dialog taller, centred again on its old rectangle, and nothing else.
#include "DialogGeometry.h"

static const long long llIntMax = 2147483647LL;     // largest value SetWindowPos accepts
static const long long llIntMin = -2147483647LL - 1; // smallest value SetWindowPos accepts
static const long long llTextPadding = 5;   // added below and beside the measured text
static const long long llRowGap = 10;       // between the text control (or the icon) and the button row
static const long long llExtraLeft = 10;    // client x of control 202 in the button row
static const long long llBottomMargin = 10; // below the button-height allowance
static const long long llRowSpacing = 10;   // a mended row's gaps: between its controls and at its ends

// One window's placement while it is being formed.
struct Box {
    BOOL bMove; // FALSE: the window is not touched
    long long llX;
    long long llY;
    long long llCX;
    long long llCY;
};

// Every placement of the layout, the button height that the dialog's height counts
// twice (0 for a row without a button), and where the icon stands (never moved, never
// emitted; bMove FALSE when the dialog has no icon whose rectangle could be read).
struct Plan {
    Box text;
    Box ok;
    Box cancel;
    Box extra;
    Box dlg;
    long long llRowHeight;
    Box icon;
};

BOOL IsOneButtonMode(LONG lButtonMode)
{
    // Only this button mode lays out one button; every other value lays out two.
    return lButtonMode == TVR_BUTTONS_ONE;
}

static long long Max(long long llA, long long llB)
{
    return llA > llB ? llA : llB;
}

static long long Min(long long llA, long long llB)
{
    return llA < llB ? llA : llB;
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

static void Place(Box *pBox, long long llX, long long llY, long long llCX, long long llCY)
{
    pBox->bMove = TRUE;
    pBox->llX = llX;
    pBox->llY = llY;
    pBox->llCX = llCX;
    pBox->llCY = llCY;
}

static void Leave(Box *pBox)
{
    pBox->bMove = FALSE;
    pBox->llX = 0;
    pBox->llY = 0;
    pBox->llCX = 0;
    pBox->llCY = 0;
}

// A screen position in the dialog's client coordinates, as the dialog stood before the
// layout: less the dialog's frame across, and less the menu-bar allowance for the
// caption and the frame down.
static long long ClientX(const TextDialogLayoutInput *pIn, LONG lScreenX)
{
    return static_cast<long long>(lScreenX) - pIn->lCXDlgFrame - pIn->rDlgRect.left;
}

static long long ClientY(const TextDialogLayoutInput *pIn, LONG lScreenY)
{
    return static_cast<long long>(lScreenY) - pIn->lCYMenu - pIn->lCYDlgFrame - pIn->rDlgRect.top;
}

// The dialog's outer size around its client area: the client area starts one frame in
// and one frame plus the menu-bar allowance down (the same allowance that turns the
// text control's screen position into client coordinates), and one frame is left on the
// right and at the bottom.
static long long ClientWidth(const TextDialogLayoutInput *pIn, long long llDlgWidth)
{
    return llDlgWidth - 2LL * pIn->lCXDlgFrame;
}

static long long ClientHeight(const TextDialogLayoutInput *pIn, long long llDlgHeight)
{
    return llDlgHeight - pIn->lCYMenu - 2LL * pIn->lCYDlgFrame;
}

// Centred on the dialog's old window rectangle; the divisions truncate toward zero.
static void CentreDialog(const TextDialogLayoutInput *pIn, long long llDlgWidth, long long llDlgHeight, Plan *pPlan)
{
    const long long llDlgX = pIn->rDlgRect.left + (WidthOf(&pIn->rDlgRect) - llDlgWidth) / 2;
    const long long llDlgY = pIn->rDlgRect.top + (HeightOf(&pIn->rDlgRect) - llDlgHeight) / 2;
    Place(&pPlan->dlg, llDlgX, llDlgY, llDlgWidth, llDlgHeight);
}

// The fixed rules, with the text control's new top-left corner given.
static void LayOutFromText(const TextDialogLayoutInput *pIn, long long llTextX, long long llTextY, Plan *pPlan)
{
    const long long llTextWidth = pIn->lTextWidth;
    const long long llTextHeight = pIn->lTextHeight;
    Place(&pPlan->text, llTextX, llTextY, llTextWidth, llTextHeight + llTextPadding);

    // One dialog-frame width is added, not two.
    const long long llDlgWidth = llTextX + pIn->lCXDlgFrame + llTextWidth + llTextPadding;

    // The button row: 15 pixels more than the text height below the text's top, centred
    // on the span from client x 0 to the right edge of the text control.
    const long long llRowTop = llTextY + (llTextHeight + llTextPadding) + llRowGap;
    const long long llRowSpan = llTextX + llTextWidth + llTextPadding;

    // The row height counts twice in the dialog's height (once for the row, once as
    // the allowance for the caption and frames); a row without a button adds none.
    pPlan->llRowHeight = 0;
    Leave(&pPlan->ok);
    Leave(&pPlan->cancel);
    const BOOL bPair = !IsOneButtonMode(pIn->lButtonMode) && pIn->bHasOK && pIn->bHasCancel;
    if (bPair) {
        // Both buttons take button 1's size; button 2 keeps its horizontal distance
        // from button 1.
        const long long llXSize = WidthOf(&pIn->rOKRect);
        const long long llYSize = HeightOf(&pIn->rOKRect);
        const long long llPairWidth = static_cast<long long>(pIn->rCancelRect.right) - pIn->rOKRect.left;
        const long long llOKX = (llRowSpan - llPairWidth) / 2;
        const long long llCancelX = llOKX + (static_cast<long long>(pIn->rCancelRect.left) - pIn->rOKRect.left);
        Place(&pPlan->ok, llOKX, llRowTop, llXSize, llYSize);
        Place(&pPlan->cancel, llCancelX, llRowTop, llXSize, llYSize);
        pPlan->llRowHeight = llYSize;
    } else if (pIn->bHasOK) {
        // One-button mode, or two-button mode on a dialog without button 2: button 1
        // is centred alone with its own size.
        const long long llXSize = WidthOf(&pIn->rOKRect);
        const long long llYSize = HeightOf(&pIn->rOKRect);
        Place(&pPlan->ok, (llRowSpan - llXSize) / 2, llRowTop, llXSize, llYSize);
        pPlan->llRowHeight = llYSize;
    } else if (!IsOneButtonMode(pIn->lButtonMode) && pIn->bHasCancel) {
        // Two-button mode on a dialog without button 1: button 2 is the row's only
        // button, so it is centred alone with its own size and gives the row height.
        const long long llXSize = WidthOf(&pIn->rCancelRect);
        const long long llYSize = HeightOf(&pIn->rCancelRect);
        Place(&pPlan->cancel, (llRowSpan - llXSize) / 2, llRowTop, llXSize, llYSize);
        pPlan->llRowHeight = llYSize;
    }

    if (pIn->bHasExtra)
        Place(&pPlan->extra, llExtraLeft, llRowTop, WidthOf(&pIn->rExtraRect), HeightOf(&pIn->rExtraRect));
    else
        Leave(&pPlan->extra);

    const long long llDlgHeight = llRowTop + pPlan->llRowHeight + pPlan->llRowHeight + pIn->lCYDlgFrame + llBottomMargin;
    CentreDialog(pIn, llDlgWidth, llDlgHeight, pPlan);
}

// A window covers no pixel when it is not placed or has no width or no height; such a
// window overlaps nothing.
static BOOL IsEmpty(const Box *pBox)
{
    return !pBox->bMove || pBox->llCX <= 0 || pBox->llCY <= 0;
}

// A placed window lies inside the client area when its top-left corner is at or after
// the client origin and its far edges (a negative size counting as none) at or before
// the client area's.
static BOOL IsInside(const Box *pBox, long long llClientWidth, long long llClientHeight)
{
    if (!pBox->bMove)
        return TRUE;
    return pBox->llX >= 0 && pBox->llY >= 0 && pBox->llX + Max(pBox->llCX, 0) <= llClientWidth &&
           pBox->llY + Max(pBox->llCY, 0) <= llClientHeight;
}

// Two windows overlap when they share a pixel; windows that only touch do not.
static BOOL Overlap(const Box *pA, const Box *pB)
{
    if (IsEmpty(pA) || IsEmpty(pB))
        return FALSE;
    return pA->llX < pB->llX + pB->llCX && pB->llX < pA->llX + pA->llCX && pA->llY < pB->llY + pB->llCY &&
           pB->llY < pA->llY + pA->llCY;
}

// TRUE when a button or control 202 lies over the icon.
static BOOL RowOverIcon(const Plan *pPlan)
{
    return Overlap(&pPlan->ok, &pPlan->icon) || Overlap(&pPlan->cancel, &pPlan->icon) ||
           Overlap(&pPlan->extra, &pPlan->icon);
}

// TRUE when every placed window lies inside the dialog's client area, no two of the
// text control, the buttons and control 202 overlap, and no button and not control 202
// lies over the icon.
static BOOL FitsClientArea(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    if (RowOverIcon(pPlan))
        return FALSE;
    const long long llClientWidth = ClientWidth(pIn, pPlan->dlg.llCX);
    const long long llClientHeight = ClientHeight(pIn, pPlan->dlg.llCY);
    const Box *rgpBoxes[] = {&pPlan->text, &pPlan->ok, &pPlan->cancel, &pPlan->extra};
    const int cBoxes = sizeof rgpBoxes / sizeof rgpBoxes[0];
    for (int i = 0; i < cBoxes; ++i) {
        if (!IsInside(rgpBoxes[i], llClientWidth, llClientHeight))
            return FALSE;
        for (int j = i + 1; j < cBoxes; ++j)
            if (Overlap(rgpBoxes[i], rgpBoxes[j]))
                return FALSE;
    }
    return TRUE;
}

// TRUE when, across, the text control and every control of the row lie inside the
// client area's width and no two controls of the row overlap: the row fits
// horizontally, whatever it does down. The controls of the row share one top, so their
// overlap is an overlap across.
static BOOL RowFitsAcross(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    const long long llClientWidth = ClientWidth(pIn, pPlan->dlg.llCX);
    const Box *rgpBoxes[] = {&pPlan->text, &pPlan->ok, &pPlan->cancel, &pPlan->extra};
    for (const Box *pBox : rgpBoxes)
        if (pBox->bMove && (pBox->llX < 0 || pBox->llX + Max(pBox->llCX, 0) > llClientWidth))
            return FALSE;
    return !Overlap(&pPlan->ok, &pPlan->cancel) && !Overlap(&pPlan->ok, &pPlan->extra) &&
           !Overlap(&pPlan->cancel, &pPlan->extra);
}

// Moves the button row of a plan whose text corner is already inside the client area so
// that nothing overlaps and everything lies inside: the row starts below the text
// control, the buttons keep their order and distance (or are pulled apart when they
// overlapped each other) and keep their centred place unless that lies left of the
// client area or under control 202, in which case they start one gap right of it; a row
// that would then lie over the icon moves down to one gap below it; the dialog widens
// and heightens only as far as the row and the text need. With bAcrossKept (the fixed
// rules' row fits across, see RowFitsAcross) nothing moves across: every control keeps
// the rules' x and the dialog the rules' width, and only the row's top and the
// dialog's height (and so its top edge) change.
static void MendButtonRow(const TextDialogLayoutInput *pIn, BOOL bAcrossKept, Plan *pPlan)
{
    Box *pOK = &pPlan->ok;
    Box *pCancel = &pPlan->cancel;
    Box *pExtra = &pPlan->extra;

    long long llRowTop = pPlan->text.llY + Max(pPlan->text.llCY, 0) + llRowGap;

    // The buttons as one group: where the fixed rules put its left edge, how wide it is
    // and where each button sits inside it.
    long long llGroupLeft = 0;
    long long llGroupWidth = 0;
    long long llOKOffset = 0;
    long long llCancelOffset = 0;
    const BOOL bHasButton = pOK->bMove || pCancel->bMove;
    if (pOK->bMove && pCancel->bMove) {
        // Both have button 1's size.
        const long long llWidth = Max(pOK->llCX, 0);
        long long llDistance = pCancel->llX - pOK->llX;
        if (llDistance > -llWidth && llDistance < llWidth && pOK->llCY > 0)
            llDistance = llDistance < 0 ? -(llWidth + llRowSpacing) : llWidth + llRowSpacing;
        const long long llLow = Min(0, llDistance);
        const long long llHigh = Max(llWidth, llDistance + llWidth);
        llGroupLeft = pOK->llX + llLow;
        llGroupWidth = llHigh - llLow;
        llOKOffset = -llLow;
        llCancelOffset = llDistance - llLow;
    } else if (bHasButton) {
        const Box *pOnly = pOK->bMove ? pOK : pCancel;
        llGroupLeft = pOnly->llX;
        llGroupWidth = Max(pOnly->llCX, 0);
    }

    // Control 202 keeps its place at the row's left end. The buttons keep theirs unless
    // it lies left of the client area or over control 202; then they start one gap
    // right of control 202, or one gap in from the left edge when it takes no room.
    if (pExtra->bMove)
        Place(pExtra, llExtraLeft, llRowTop, pExtra->llCX, pExtra->llCY);
    Box group;
    Place(&group, llGroupLeft, llRowTop, llGroupWidth, pPlan->llRowHeight);
    if (!bAcrossKept && bHasButton && (llGroupLeft < 0 || Overlap(&group, pExtra)))
        llGroupLeft = IsEmpty(pExtra) ? llRowSpacing : llExtraLeft + pExtra->llCX + llRowSpacing;
    if (pOK->bMove)
        Place(pOK, llGroupLeft + llOKOffset, llRowTop, pOK->llCX, pOK->llCY);
    if (pCancel->bMove)
        Place(pCancel, llGroupLeft + llCancelOffset, llRowTop, pCancel->llCX, pCancel->llCY);

    // Where a control of the row, at its final x, lies over the icon, the whole row moves
    // down to one gap below the icon's bottom. That control's top lies above the icon's
    // bottom, so this moves the row down, and below the icon nothing of it can overlap.
    if (RowOverIcon(pPlan)) {
        llRowTop = pPlan->icon.llY + pPlan->icon.llCY + llRowGap;
        Box *rgpRow[] = {pOK, pCancel, pExtra};
        for (Box *pBox : rgpRow)
            if (pBox->bMove)
                pBox->llY = llRowTop;
    }

    // The client width the text and the row need, with one gap after the row's last
    // control; the client height they need, with the bottom margin below the lowest.
    long long llNeedWidth = pPlan->text.llX + Max(pPlan->text.llCX, 0);
    long long llBottom = pPlan->text.llY + Max(pPlan->text.llCY, 0);
    if (bHasButton) {
        llNeedWidth = Max(llNeedWidth, llGroupLeft + llGroupWidth + llRowSpacing);
        llBottom = Max(llBottom, llRowTop + Max(pPlan->llRowHeight, 0));
    }
    if (pExtra->bMove) {
        llNeedWidth = Max(llNeedWidth, llExtraLeft + Max(pExtra->llCX, 0) + llRowSpacing);
        llBottom = Max(llBottom, llRowTop + Max(pExtra->llCY, 0));
    }
    const long long llRuleWidth = pPlan->text.llX + pIn->lCXDlgFrame + pIn->lTextWidth + llTextPadding;
    const long long llRuleHeight =
        llRowTop + pPlan->llRowHeight + pPlan->llRowHeight + pIn->lCYDlgFrame + llBottomMargin;
    // A row that fits across already lies inside the rules' width, every x kept.
    const long long llDlgWidth =
        bAcrossKept ? llRuleWidth : Max(llRuleWidth, llNeedWidth + 2LL * pIn->lCXDlgFrame);
    const long long llDlgHeight =
        Max(llRuleHeight, llBottom + llBottomMargin + pIn->lCYMenu + 2LL * pIn->lCYDlgFrame);
    CentreDialog(pIn, llDlgWidth, llDlgHeight, pPlan);
}

static void Emit(const Box *pBox, WindowPlacement *pPlace)
{
    pPlace->bMove = pBox->bMove;
    pPlace->x = pBox->bMove ? ClampToInt(pBox->llX) : 0;
    pPlace->y = pBox->bMove ? ClampToInt(pBox->llY) : 0;
    pPlace->cx = pBox->bMove ? ClampToInt(pBox->llCX) : 0;
    pPlace->cy = pBox->bMove ? ClampToInt(pBox->llCY) : 0;
}

void ChooseTextExtent(LONG lWidth, LONG lHeight, BOOL bFontMeasured, LONG lFontWidth, LONG lFontHeight,
                      LONG *plTextWidth, LONG *plTextHeight)
{
    *plTextWidth = lWidth;
    *plTextHeight = lHeight;
    if (!bFontMeasured)
        return;
    // The control is as wide as the measured text: only a word that the control's font
    // can't break within that width needs more.
    if (lFontWidth > lWidth)
        *plTextWidth = lFontWidth;
    // The control is the measured height plus the padding tall; formed at 64 bits.
    if (static_cast<long long>(lFontHeight) > static_cast<long long>(lHeight) + llTextPadding)
        *plTextHeight = lFontHeight;
}

void ComputeTextDialogLayout(const TextDialogLayoutInput *pIn, TextDialogLayout *pOut)
{
    // The text control's new top-left corner in dialog client coordinates: its screen
    // position less the dialog's frame and the menu-bar allowance for the caption.
    const long long llTextX = ClientX(pIn, pIn->rTextRect.left);
    const long long llTextY = ClientY(pIn, pIn->rTextRect.top);

    Plan plan;
    // The icon, where the layout leaves it, in the same client coordinates.
    if (pIn->bHasIcon)
        Place(&plan.icon, ClientX(pIn, pIn->rIconRect.left), ClientY(pIn, pIn->rIconRect.top),
              WidthOf(&pIn->rIconRect), HeightOf(&pIn->rIconRect));
    else
        Leave(&plan.icon);
    LayOutFromText(pIn, llTextX, llTextY, &plan);
    if (!FitsClientArea(pIn, &plan)) {
        // Judged on the fixed rules' result, before anything is mended.
        const BOOL bAcrossKept = RowFitsAcross(pIn, &plan);
        // The text control keeps its corner unless that lies outside the client area
        // (where the row fits across, its left edge already lies inside).
        LayOutFromText(pIn, Max(llTextX, 0), Max(llTextY, 0), &plan);
        MendButtonRow(pIn, bAcrossKept, &plan);
    }

    Emit(&plan.text, &pOut->text);
    Emit(&plan.ok, &pOut->ok);
    Emit(&plan.cancel, &pOut->cancel);
    Emit(&plan.extra, &pOut->extra);
    Emit(&plan.dlg, &pOut->dlg);
}
