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

#include <string.h>

static const long long llIntMax = 2147483647LL;     // largest value SetWindowPos accepts
static const long long llIntMin = -2147483647LL - 1; // smallest value SetWindowPos accepts
static const long long llTextPadding = 5;   // added below and beside the measured text
static const long long llRowGap = 10;       // between the text control (or the icon) and the button row
static const long long llExtraLeft = 10;    // client x of control 202 in the button row
static const long long llBottomMargin = 10; // below the button-height allowance
static const long long llRowSpacing = 10;   // a mended row's gaps: between its controls and at its ends

// One window's placement while it is being formed. A window that is not placed has
// every field zero.
struct Box {
    BOOL bMove; // FALSE: the window is not touched
    long long llX;
    long long llY;
    long long llCX;
    long long llCY;
};

// The windows of the layout, by their index in Plan::rgBox: the four that are checked
// against each other first, in the order they are applied, then the dialog, then the
// icon (never moved, never emitted; not placed when the dialog has no icon whose
// rectangle could be read).
enum { kText, kOK, kCancel, kExtra, kDlg, kIcon, kBoxes };
static const int kChecked = kExtra + 1; // text, buttons and control 202

// Every placement, and the button height that the dialog's height counts twice (0 for a
// row without a button).
struct Plan {
    Box rgBox[kBoxes];
    long long llRowHeight;
};

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
    return static_cast<int>(Min(Max(ll, llIntMin), llIntMax));
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
    memset(pBox, 0, sizeof *pBox);
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
static long long ClientWidth(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    return pPlan->rgBox[kDlg].llCX - 2LL * pIn->lCXDlgFrame;
}

static long long ClientHeight(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    return pPlan->rgBox[kDlg].llCY - pIn->lCYMenu - 2LL * pIn->lCYDlgFrame;
}

// Centred on the dialog's old window rectangle; the divisions truncate toward zero.
static void CentreDialog(const TextDialogLayoutInput *pIn, long long llDlgWidth, long long llDlgHeight, Plan *pPlan)
{
    const long long llDlgX = pIn->rDlgRect.left + (WidthOf(&pIn->rDlgRect) - llDlgWidth) / 2;
    const long long llDlgY = pIn->rDlgRect.top + (HeightOf(&pIn->rDlgRect) - llDlgHeight) / 2;
    Place(&pPlan->rgBox[kDlg], llDlgX, llDlgY, llDlgWidth, llDlgHeight);
}

// The fixed rules, with the text control's new top-left corner given.
static void LayOutFromText(const TextDialogLayoutInput *pIn, long long llTextX, long long llTextY, Plan *pPlan)
{
    Box *rgBox = pPlan->rgBox;
    const long long llTextWidth = pIn->lTextWidth;
    const long long llTextHeight = pIn->lTextHeight + llTextPadding;
    Place(&rgBox[kText], llTextX, llTextY, llTextWidth, llTextHeight);

    // The button row: 15 pixels more than the text height below the text's top, centred
    // on the span from client x 0 to the right edge of the text control.
    const long long llRowTop = llTextY + llTextHeight + llRowGap;
    const long long llRowSpan = llTextX + llTextWidth + llTextPadding;

    // Both buttons of a pair take button 1's size, and button 2 keeps its horizontal
    // distance from button 1; a button alone (one-button mode, or a dialog without the
    // other button) is centred with its own size. Button 2 takes part in two-button mode
    // only. The row height counts twice in the dialog's height (once for the row, once
    // as the allowance for the caption and frames); a row without a button adds none.
    pPlan->llRowHeight = 0;
    Leave(&rgBox[kOK]);
    Leave(&rgBox[kCancel]);
    const BOOL bHasOK = pIn->bHasOK;
    const BOOL bHasCancel = !IsOneButtonMode(pIn->lButtonMode) && pIn->bHasCancel;
    if (bHasOK || bHasCancel) {
        const RECT *prSize = bHasOK ? &pIn->rOKRect : &pIn->rCancelRect;
        const long long llXSize = WidthOf(prSize);
        const long long llYSize = HeightOf(prSize);
        long long llGroupWidth = llXSize;
        long long llCancelOffset = 0;
        if (bHasOK && bHasCancel) {
            llGroupWidth = static_cast<long long>(pIn->rCancelRect.right) - pIn->rOKRect.left;
            llCancelOffset = static_cast<long long>(pIn->rCancelRect.left) - pIn->rOKRect.left;
        }
        const long long llGroupX = (llRowSpan - llGroupWidth) / 2;
        if (bHasOK)
            Place(&rgBox[kOK], llGroupX, llRowTop, llXSize, llYSize);
        if (bHasCancel)
            Place(&rgBox[kCancel], llGroupX + llCancelOffset, llRowTop, llXSize, llYSize);
        pPlan->llRowHeight = llYSize;
    }

    if (pIn->bHasExtra)
        Place(&rgBox[kExtra], llExtraLeft, llRowTop, WidthOf(&pIn->rExtraRect), HeightOf(&pIn->rExtraRect));
    else
        Leave(&rgBox[kExtra]);

    // One dialog-frame width is added, not two.
    const long long llDlgWidth = llRowSpan + pIn->lCXDlgFrame;
    const long long llDlgHeight = llRowTop + pPlan->llRowHeight + pPlan->llRowHeight + pIn->lCYDlgFrame + llBottomMargin;
    CentreDialog(pIn, llDlgWidth, llDlgHeight, pPlan);
}

// TRUE when [llStart, llStart + llSize) lies within [0, llLimit]; a negative size counts
// as none.
static BOOL SpanInside(long long llStart, long long llSize, long long llLimit)
{
    return llStart >= 0 && llStart + Max(llSize, 0) <= llLimit;
}

// TRUE when two spans share a point; spans that only touch do not.
static BOOL SpansOverlap(long long llA, long long llASize, long long llB, long long llBSize)
{
    return llA < llB + llBSize && llB < llA + llASize;
}

// A window covers no pixel when it is not placed or has no width or no height; such a
// window overlaps nothing.
static BOOL IsEmpty(const Box *pBox)
{
    return !pBox->bMove || pBox->llCX <= 0 || pBox->llCY <= 0;
}

// Two windows overlap when they share a pixel; windows that only touch do not.
static BOOL Overlap(const Box *pA, const Box *pB)
{
    return !IsEmpty(pA) && !IsEmpty(pB) && SpansOverlap(pA->llX, pA->llCX, pB->llX, pB->llCX) &&
           SpansOverlap(pA->llY, pA->llCY, pB->llY, pB->llCY);
}

// TRUE when a button or control 202 lies over the icon.
static BOOL RowOverIcon(const Plan *pPlan)
{
    for (int i = kOK; i <= kExtra; ++i)
        if (Overlap(&pPlan->rgBox[i], &pPlan->rgBox[kIcon]))
            return TRUE;
    return FALSE;
}

// TRUE when two of the checked windows from iFirst on overlap.
static BOOL AnyOverlap(const Plan *pPlan, int iFirst)
{
    for (int i = iFirst; i < kChecked; ++i)
        for (int j = i + 1; j < kChecked; ++j)
            if (Overlap(&pPlan->rgBox[i], &pPlan->rgBox[j]))
                return TRUE;
    return FALSE;
}

// TRUE when every checked window that is placed lies inside the client area across, and
// with bDown also down.
static BOOL AllInside(const TextDialogLayoutInput *pIn, const Plan *pPlan, BOOL bDown)
{
    const long long llClientWidth = ClientWidth(pIn, pPlan);
    const long long llClientHeight = ClientHeight(pIn, pPlan);
    for (int i = 0; i < kChecked; ++i) {
        const Box *pBox = &pPlan->rgBox[i];
        if (pBox->bMove && (!SpanInside(pBox->llX, pBox->llCX, llClientWidth) ||
                            (bDown && !SpanInside(pBox->llY, pBox->llCY, llClientHeight))))
            return FALSE;
    }
    return TRUE;
}

// TRUE when every placed window lies inside the dialog's client area, no two of the
// text control, the buttons and control 202 overlap, and no button and not control 202
// lies over the icon.
static BOOL FitsClientArea(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    return !RowOverIcon(pPlan) && AllInside(pIn, pPlan, TRUE) && !AnyOverlap(pPlan, kText);
}

// TRUE when, across, the text control and every control of the row lie inside the
// client area's width and no two controls of the row overlap: the row fits
// horizontally, whatever it does down. The controls of the row share one top, so their
// overlap is an overlap across.
static BOOL RowFitsAcross(const TextDialogLayoutInput *pIn, const Plan *pPlan)
{
    return AllInside(pIn, pPlan, FALSE) && !AnyOverlap(pPlan, kOK);
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
// Kept out of line: inlined into its one caller, its 64-bit sums cost the PE32 build
// several hundred bytes more in registers spilled and reloaded.
__attribute__((noinline)) static void MendButtonRow(const TextDialogLayoutInput *pIn, BOOL bAcrossKept, Plan *pPlan)
{
    Box *rgBox = pPlan->rgBox;
    Box *pOK = &rgBox[kOK];
    Box *pCancel = &rgBox[kCancel];
    Box *pExtra = &rgBox[kExtra];
    const Box *pText = &rgBox[kText];

    const long long llTextBottom = pText->llY + Max(pText->llCY, 0);
    long long llRowTop = llTextBottom + llRowGap;

    // The buttons as one group: where the fixed rules put its left edge, how wide it is
    // and where each button sits inside it. A button that is not placed has x and width
    // zero, so a button alone is the group.
    const BOOL bHasButton = pOK->bMove || pCancel->bMove;
    long long llGroupLeft = pOK->llX + pCancel->llX;
    long long llGroupWidth = Max(pOK->llCX + pCancel->llCX, 0);
    long long llOKOffset = 0;
    long long llCancelOffset = 0;
    if (pOK->bMove && pCancel->bMove) {
        // Both have button 1's size.
        const long long llWidth = Max(pOK->llCX, 0);
        long long llDistance = pCancel->llX - pOK->llX;
        if (llDistance > -llWidth && llDistance < llWidth && pOK->llCY > 0)
            llDistance = llDistance < 0 ? -(llWidth + llRowSpacing) : llWidth + llRowSpacing;
        const long long llLow = Min(0, llDistance);
        llGroupLeft = pOK->llX + llLow;
        llGroupWidth = Max(llWidth, llDistance + llWidth) - llLow;
        llOKOffset = -llLow;
        llCancelOffset = llDistance - llLow;
    }

    // Control 202 keeps its place at the row's left end. The buttons keep theirs unless
    // it lies left of the client area or over control 202; then they start one gap
    // right of control 202, or one gap in from the left edge when it takes no room.
    if (pExtra->bMove)
        pExtra->llY = llRowTop;
    Box group;
    Place(&group, llGroupLeft, llRowTop, llGroupWidth, pPlan->llRowHeight);
    group.bMove = bHasButton;
    if (!bAcrossKept && bHasButton && (llGroupLeft < 0 || Overlap(&group, pExtra)))
        group.llX = IsEmpty(pExtra) ? llRowSpacing : llExtraLeft + pExtra->llCX + llRowSpacing;
    if (pOK->bMove)
        Place(pOK, group.llX + llOKOffset, llRowTop, pOK->llCX, pOK->llCY);
    if (pCancel->bMove)
        Place(pCancel, group.llX + llCancelOffset, llRowTop, pCancel->llCX, pCancel->llCY);

    // Where a control of the row, at its final x, lies over the icon, the whole row moves
    // down to one gap below the icon's bottom. That control's top lies above the icon's
    // bottom, so this moves the row down, and below the icon nothing of it can overlap.
    if (RowOverIcon(pPlan)) {
        llRowTop = rgBox[kIcon].llY + rgBox[kIcon].llCY + llRowGap;
        for (int i = kOK; i <= kExtra; ++i)
            if (rgBox[i].bMove)
                rgBox[i].llY = llRowTop;
    }

    // The client width the text and the row need, with one gap after the row's last
    // control; the client height they need, with the bottom margin below the lowest.
    // The buttons count as their group, whose width is never negative.
    long long llNeedWidth = pText->llX + Max(pText->llCX, 0);
    long long llBottom = llTextBottom;
    const Box *rgpRow[] = {&group, pExtra};
    for (const Box *pBox : rgpRow) {
        if (pBox->bMove) {
            llNeedWidth = Max(llNeedWidth, pBox->llX + Max(pBox->llCX, 0) + llRowSpacing);
            llBottom = Max(llBottom, llRowTop + Max(pBox->llCY, 0));
        }
    }
    // The rules' width is the one the plan holds: it was laid out from this text corner.
    const long long llRuleWidth = rgBox[kDlg].llCX;
    const long long llRuleHeight =
        llRowTop + pPlan->llRowHeight + pPlan->llRowHeight + pIn->lCYDlgFrame + llBottomMargin;
    // A row that fits across already lies inside the rules' width, every x kept.
    const long long llDlgWidth =
        bAcrossKept ? llRuleWidth : Max(llRuleWidth, llNeedWidth + 2LL * pIn->lCXDlgFrame);
    const long long llDlgHeight =
        Max(llRuleHeight, llBottom + llBottomMargin + pIn->lCYMenu + 2LL * pIn->lCYDlgFrame);
    CentreDialog(pIn, llDlgWidth, llDlgHeight, pPlan);
}

// A window that is not placed has every field zero, so it is emitted as zeros.
static void Emit(const Box *pBox, WindowPlacement *pPlace)
{
    pPlace->bMove = pBox->bMove;
    pPlace->x = ClampToInt(pBox->llX);
    pPlace->y = ClampToInt(pBox->llY);
    pPlace->cx = ClampToInt(pBox->llCX);
    pPlace->cy = ClampToInt(pBox->llCY);
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
    memset(&plan, 0, sizeof plan);
    // The icon, where the layout leaves it, in the same client coordinates.
    if (pIn->bHasIcon)
        Place(&plan.rgBox[kIcon], ClientX(pIn, pIn->rIconRect.left), ClientY(pIn, pIn->rIconRect.top),
              WidthOf(&pIn->rIconRect), HeightOf(&pIn->rIconRect));
    LayOutFromText(pIn, llTextX, llTextY, &plan);
    if (!FitsClientArea(pIn, &plan)) {
        // Judged on the fixed rules' result, before anything is mended.
        const BOOL bAcrossKept = RowFitsAcross(pIn, &plan);
        // The text control keeps its corner unless that lies outside the client area
        // (where the row fits across, its left edge already lies inside).
        LayOutFromText(pIn, Max(llTextX, 0), Max(llTextY, 0), &plan);
        MendButtonRow(pIn, bAcrossKept, &plan);
    }

    Emit(&plan.rgBox[kText], &pOut->text);
    Emit(&plan.rgBox[kOK], &pOut->ok);
    Emit(&plan.rgBox[kCancel], &pOut->cancel);
    Emit(&plan.rgBox[kExtra], &pOut->extra);
    Emit(&plan.rgBox[kDlg], &pOut->dlg);
}
