#include "find/FindLayout.h"

// In dialog units: a quarter of the average character width across, an eighth of the
// character height down.
static const LONG kClientWidthDlu = 220;  // room for a two- or three-line message
static const LONG kMarginDlu = 7;         // the usual dialog margin
static const LONG kGapDlu = 6;            // between the message, the lines and the button
static const LONG kLineGapDlu = 1;        // between two port lines
static const LONG kButtonWidthDlu = 50;   // a standard push button
static const LONG kButtonHeightDlu = 14;

static LONG DluX(LONG lDlu, LONG cxAvgChar) { return lDlu * cxAvgChar / 4; }
static LONG DluY(LONG lDlu, LONG cyChar) { return lDlu * cyChar / 8; }

static RECT MakeRect(LONG x, LONG y, LONG cx, LONG cy)
{
    RECT rc = {x, y, x + cx, y + cy};
    return rc;
}

LONG FindMessageWidth(LONG cxAvgChar)
{
    return DluX(kClientWidthDlu - 2 * kMarginDlu, cxAvgChar);
}

void LayOutFindWindow(const FindMetrics *m, FindLayout *l)
{
    const LONG cxMargin = DluX(kMarginDlu, m->cxAvgChar);
    const LONG cyMargin = DluY(kMarginDlu, m->cyChar);
    const LONG cyGap = DluY(kGapDlu, m->cyChar);
    const LONG cxText = FindMessageWidth(m->cxAvgChar);
    l->cxClient = DluX(kClientWidthDlu, m->cxAvgChar);

    LONG y = cyMargin;
    l->rcMessage = MakeRect(cxMargin, y, cxText, m->cyMessage > 0 ? m->cyMessage : 0);
    y += l->rcMessage.bottom - l->rcMessage.top + cyGap;
    for (LONG i = 0; i < TVR_FIND_PORT_COUNT; ++i) {
        l->rgrcLines[i] = MakeRect(cxMargin, y, cxText, m->cyChar);
        y += m->cyChar + DluY(kLineGapDlu, m->cyChar);
    }
    y += cyGap;
    const LONG cxButton = DluX(kButtonWidthDlu, m->cxAvgChar);
    l->rcCancel = MakeRect(l->cxClient - cxMargin - cxButton, y, cxButton, DluY(kButtonHeightDlu, m->cyChar));
    l->cyClient = l->rcCancel.bottom + cyMargin;
}

POINT CentreFindWindow(const RECT *lprcOwner, LONG cx, LONG cy, const RECT *lprcWork)
{
    POINT pt;
    pt.x = lprcOwner->left + (lprcOwner->right - lprcOwner->left - cx) / 2;
    pt.y = lprcOwner->top + (lprcOwner->bottom - lprcOwner->top - cy) / 2;
    if (pt.x + cx > lprcWork->right)
        pt.x = lprcWork->right - cx;
    if (pt.y + cy > lprcWork->bottom)
        pt.y = lprcWork->bottom - cy;
    if (pt.x < lprcWork->left)
        pt.x = lprcWork->left;
    if (pt.y < lprcWork->top)
        pt.y = lprcWork->top;
    return pt;
}
