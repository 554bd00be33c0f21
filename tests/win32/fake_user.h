// Windows and graphics part of the Win32 test double: a small window manager with
// dialogs and their child controls, device contexts that count as open handles (a DC
// not released fails the fixture), fonts with scriptable text extents (a DC starts with
// the stock system font; a window answers WM_GETFONT with the font it was given), a
// settable device-to-logical mapping, system metrics, shared icons and the keyboard
// focus.
// Every call is logged as "Name(args)", windows by the name they were created with.
#ifndef TVR_TEST_FAKE_USER_H
#define TVR_TEST_FAKE_USER_H

#include <windows.h>

#include <string>
#include <vector>

namespace fake {

// Creates a window. hParent NULL makes a top-level window (a dialog); otherwise a
// child control with the dialog ID nID. rWindow is its window rectangle in screen
// coordinates. Its client area starts at (dxClient, dyClient) inside the window
// rectangle and is the window rectangle less a frame dxClient wide on the left, right
// and bottom and dyClient high at the top (a dialog's frame plus its caption): width
// - 2 * dxClient by height - dyClient - dxClient.
//
// The double's own coordinate arithmetic (client origins, screen rectangles, moves,
// the text extent, the mapping) is done at 64 bits and clamped to the 32-bit range, so
// extreme rectangles never overflow inside the double.
HWND NewWindow(const char *pszName, HWND hParent, int nID, RECT rWindow, int dxClient = 0, int dyClient = 0);
RECT WindowRectOf(HWND hWnd);
// The window's text as UTF-8, whether SetWindowTextA or SetWindowTextW wrote it.
std::string WindowTextOf(HWND hWnd);
// A UTF-16 text as UTF-8; DrawTextW and SetWindowTextW are logged with it.
std::string Utf8Of(const WCHAR *pszText);
// The image a control was given with STM_SETIMAGE (NULL if none).
HANDLE ImageOf(HWND hWnd);
void SetImage(HWND hWnd, HANDLE hImage);

// The window that has the keyboard focus (NULL: none).
HWND FocusWindow();
void SetFocusWindow(HWND hWnd);

// GetSystemMetrics answers; unset indices answer 0. Reset sets SM_CXDLGFRAME 3,
// SM_CYDLGFRAME 3, SM_CYMENU 19 and SM_CYCAPTION 24 (unlike the menu height, so a
// layout that used the caption would show).
void SetSystemMetric(int nIndex, int nValue);

// DrawTextA (and DrawTextW alike) with DT_CALCRECT sets the rectangle's right edge to left + cxLogical and
// its bottom to top + cyLogical, and returns cyLogical, where the extent is that of the
// font selected into the DC. SetTextExtent scripts the stock system font, the one every
// DC starts with; Reset sets 250 x 39.
void SetTextExtent(LONG cxLogical, LONG cyLogical);

// A font, logged as "font:NAME", whose measured text extent is cxLogical x cyLogical.
HFONT NewFont(const char *pszName, LONG cxLogical, LONG cyLogical);
// Word wrapping: within a bound (the rectangle's right - left) narrower than
// cxNarrowerThan, DrawTextA measures cxLogical x cyLogical in hFont instead (the lines
// the text breaks into there). Of several, the one with the smallest cxNarrowerThan that
// the bound is narrower than applies; a bound that none is narrower than measures the
// font's own extent. Works for SystemFont() as well.
void SetFontWrap(HFONT hFont, LONG cxNarrowerThan, LONG cxLogical, LONG cyLogical);
// The stock system font (logged as "font:system").
HFONT SystemFont();
// What the window answers to WM_GETFONT (NULL, the default: it draws with the system
// font).
void SetWindowFont(HWND hWnd, HFONT hFont);
// SelectObject(hdc, font) selects a known font into an open DC and returns the one it
// held; an unknown object, a DC not open, or an injected failure give NULL and change
// nothing. ReleaseDC notes the font the DC held at that moment, by name, in call order.
std::vector<std::string> FontsAtRelease();

// Device-to-logical mapping of every DC: logical = device * nScale + nOrigin, and back
// (integer division) for LPtoDP. Reset sets scale 1, origin 0.
void SetMapping(int nScale, int nOrigin);

// The icon handle LoadIconA(NULL, MAKEINTRESOURCE(n)) gives for a predefined system
// icon number n (32512 to 32518); other numbers give NULL.
HICON SystemIcon(int n);

// How many DCs GetDC handed out that have not been released.
size_t OpenDCCount();

// What a failed GetWindowRect leaves in the caller's rectangle: by default nothing is
// written; after this, the given rectangle is (the real call's output is then
// undefined), so a caller that used it anyway would show.
void SetFailedWindowRect(RECT rLeft);

// What a failed DrawTextA leaves in the caller's rectangle: by default nothing is
// written; after this, the given rectangle is (the real call's output is then
// undefined), so a caller that used a failed measurement would show.
void SetFailedDrawTextRect(RECT rLeft);

} // namespace fake

#endif // TVR_TEST_FAKE_USER_H
