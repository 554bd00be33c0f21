// The find's modal window, shown while the search runs when the caller names an owner:
// the caller's message, a line per port and a Cancel button with the focus. Opening
// disables the owner and closing re-enables it before the window goes, so that the
// activation returns to the owner, as MessageBox does.
#ifndef TVR_FIND_FINDWINDOW_H
#define TVR_FIND_FINDWINDOW_H

#include <windows.h>

#include "find/FindDecision.h"
#include "serial/CommProbe.h"

#define TVR_FIND_PORT_COUNT (TVR_LAST_SCAN_PORT - TVR_FIRST_SCAN_PORT + 1)

struct FindProgress {
    HWND hwndOwner;
    HWND hwnd;                             // NULL once closed
    HWND rghwndLines[TVR_FIND_PORT_COUNT]; // one static per port
    HFONT hFont;                           // the system's message font, or NULL
    HINSTANCE hInstance;
    BOOL bOwnerWasDisabled;
    BOOL bCancelled; // Cancel, Esc, closing the window, or a WM_QUIT taken by the loop
    BOOL bQuit;      // a WM_QUIT was taken: it is posted again on close
    WPARAM wQuitCode;
};

// Creates the window, centred on the owner, disables the owner and shows the window
// with the focus on Cancel. FALSE, with nothing left open and the owner untouched,
// when the window cannot be made.
BOOL OpenFindWindow(FindProgress *lpWindow, HWND hwndOwner, LPCWSTR lpszMessage);

// Shows what is known of the port at lIndex (0 for COM1).
void ShowFindPort(FindProgress *lpWindow, LONG lIndex, FindPortState state, const CommProbe *lpProbe);

// Waits until one of the cHandles handles is signalled and returns its index, pumping
// the calling thread's messages meanwhile. With bStopOnCancel, returns cHandles as soon
// as the user cancels. WAIT_FAILED when the wait itself fails.
DWORD WaitPumping(FindProgress *lpWindow, DWORD cHandles, const HANDLE *rgHandles, BOOL bStopOnCancel);

// Re-enables the owner, then destroys the window and everything it made, and posts
// again a WM_QUIT that the loop took.
void CloseFindWindow(FindProgress *lpWindow);

#endif // TVR_FIND_FINDWINDOW_H
