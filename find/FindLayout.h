// Where the find's window puts its controls, from the metrics of the system's message
// font: the pure half of the window, with no platform calls. Sizes are in dialog units
// converted with the font's average character width and height, so the window grows
// with the system's font and DPI as a dialog does.
#ifndef TVR_FIND_FINDLAYOUT_H
#define TVR_FIND_FINDLAYOUT_H

#include <windows.h>

#include "find/FindWindow.h"

struct FindMetrics {
    LONG cxAvgChar;  // tmAveCharWidth of the message font
    LONG cyChar;     // tmHeight of the message font
    LONG cyMessage;  // the message's height, word-wrapped at FindMessageWidth()
};

struct FindLayout {
    RECT rcMessage;
    RECT rgrcLines[TVR_FIND_PORT_COUNT];
    RECT rcCancel;
    LONG cxClient;
    LONG cyClient;
};

// The width the message is wrapped at, in pixels.
LONG FindMessageWidth(LONG cxAvgChar);

void LayOutFindWindow(const FindMetrics *lpMetrics, FindLayout *lpLayout);

// The top-left corner that centres a cx by cy window on rcOwner, moved as little as
// needed to lie inside rcWork (the work area), its top-left corner first.
POINT CentreFindWindow(const RECT *lprcOwner, LONG cx, LONG cy, const RECT *lprcWork);

#endif // TVR_FIND_FINDLAYOUT_H
