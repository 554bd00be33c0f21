// Placement of a message dialog around its measured text: plain arithmetic over the
// rectangles read from the dialog, the measured text extent and three system metrics.
// No platform call happens here, so the layout can be tested and fuzzed on its own;
// SizeTextDialog reads the inputs from the windows and applies the outputs.
//
//   text control  (lXOffset, lYOffset)       lTextWidth x (lTextHeight + 5)
//   button row    top = lYOffset + lTextHeight + 15, centred on [0, row span)
//                 [202 at x = 10]   [button 1] [button 2]
//   dialog        lDlgWidth x lDlgHeight, centred on its old window rectangle
//   icon          control 200 stays where it is; the button row keeps clear of it
#ifndef TVR_DIALOG_DIALOGGEOMETRY_H
#define TVR_DIALOG_DIALOGGEOMETRY_H

#include <windows.h>

// The control IDs TVR_ID_ICON (200), TVR_ID_TEXT (201) and TVR_ID_EXTRA (202), the icon
// types and the button modes, as the callers know them.
#include "frame/telvarid.h"

// The two push buttons of the message dialog.
#define TVR_ID_BUTTON1 1  // first push button (IDOK)
#define TVR_ID_BUTTON2 2  // second push button (IDCANCEL), two-button mode only

// What the layout starts from. Rectangles are window rectangles in screen coordinates;
// a rectangle whose bHas flag is FALSE was never read and is never used.
struct TextDialogLayoutInput {
    RECT rTextRect;       // control 201, read after measuring
    RECT rDlgRect;        // the dialog before it moves
    RECT rOKRect;         // button 1, valid when bHasOK
    RECT rCancelRect;     // button 2, valid when bHasCancel (looked up in two-button mode only)
    RECT rExtraRect;      // control 202, valid when bHasExtra
    RECT rIconRect;       // control 200, valid when bHasIcon; never moved
    BOOL bHasOK;
    BOOL bHasCancel;
    BOOL bHasExtra;
    BOOL bHasIcon;
    LONG lTextWidth;      // measured text, device units
    LONG lTextHeight;
    LONG lCXDlgFrame;     // SM_CXDLGFRAME
    LONG lCYDlgFrame;     // SM_CYDLGFRAME
    LONG lCYMenu;         // SM_CYMENU
    LONG lButtonMode;     // TVR_BUTTONS_ONE, or any other value for two buttons
};

// One SetWindowPos: position and size together. Children take dialog client
// coordinates, the dialog takes screen coordinates.
struct WindowPlacement {
    BOOL bMove;  // FALSE: this window is not touched
    int x;
    int y;
    int cx;
    int cy;
};

// The moves, to be applied in this order: text, OK, Cancel, extra, dialog.
struct TextDialogLayout {
    WindowPlacement text;
    WindowPlacement ok;
    WindowPlacement cancel;
    WindowPlacement extra;
    WindowPlacement dlg;
};

// The measured text the layout is computed from. lWidth x lHeight is the text measured
// in the font the device context comes with, wrapped within the text control's width;
// the layout makes the control lWidth x (lHeight + 5). lFontWidth x lFontHeight is the
// same text measured in the control's own font, wrapped within lWidth (bFontMeasured
// FALSE: the control has no font of its own, or that measurement failed). Where the
// text in the control's font fits that control (lFontWidth <= lWidth and lFontHeight <=
// lHeight + 5), or there is no such measurement, the result is lWidth x lHeight
// unchanged. Otherwise each dimension that does not fit, and only that one, takes the
// control font's measurement: the width lFontWidth where a word is wider than lWidth,
// the height lFontHeight where the lines are taller than lHeight + 5.
void ChooseTextExtent(LONG lWidth, LONG lHeight, BOOL bFontMeasured, LONG lFontWidth, LONG lFontHeight,
                      LONG *plTextWidth, LONG *plTextHeight);

// TRUE when lButtonMode selects the one-button layout: only this button mode lays out
// one button; every other value lays out two.
inline BOOL IsOneButtonMode(LONG lButtonMode)
{
    return lButtonMode == TVR_BUTTONS_ONE;
}

// Computes every placement from pIn into pOut. Where the fixed rules put every window
// inside the dialog's client area without two of the text control, the buttons and
// control 202 overlapping, and without a button or control 202 over the icon, their
// result stands to the pixel; otherwise (a short text under a wide button row, say) the
// row is moved right of control 202, and below the icon when it would lie over it, and
// the dialog grows until everything lies inside without overlap. Where the fixed rules'
// text control and every control of the row lie inside the client width and no two
// controls of the row overlap, the mend moves nothing across: every x and the dialog's
// width and left edge stay theirs, and only the row's top and the dialog's height (and
// so its top) change. The icon and the text control are never moved for this: a text
// control that the template puts over the icon stays there. All sums are formed at 64 bits and each result is clamped to the
// int range, so extreme rectangles cannot overflow; results that fit are exact.
void ComputeTextDialogLayout(const TextDialogLayoutInput *pIn, TextDialogLayout *pOut);

#endif // TVR_DIALOG_DIALOGGEOMETRY_H
