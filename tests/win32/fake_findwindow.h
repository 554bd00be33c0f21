// The find's window, as the unit level sees it: tests/win32/fake_findwindow.cpp stands
// in for find/FindWindow.cpp (which needs a real window manager, and is tested under
// Wine) behind the same interface, find/FindWindow.h. It records what the search showed
// and when, and plays a user who presses Cancel at a given moment.
#ifndef TVR_TEST_FAKE_FINDWINDOW_H
#define TVR_TEST_FAKE_FINDWINDOW_H

#include <windows.h>

#include <string>
#include <vector>

namespace fake {
namespace findwindow {

// The user presses Cancel at dwAt on the virtual clock (if the window is open then).
void CancelAt(DWORD dwAt);
// The window cannot be made: OpenFindWindow fails.
void FailOpen();

// "open", "port COMn STATE", "close", one per call, in order.
const std::vector<std::string> &Events();
// Whether a window is open now.
bool IsOpen();

} // namespace findwindow
} // namespace fake

#endif // TVR_TEST_FAKE_FINDWINDOW_H
