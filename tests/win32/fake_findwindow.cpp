#include "fake_findwindow.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fake_platform.h"
#include "find/FindWindow.h"

namespace {

struct State {
    bool bCancelArmed = false;
    DWORD dwCancelAt = 0;
    bool bFailOpen = false;
    bool bOpen = false;
    std::vector<std::string> events;
};

State &St()
{
    static State *s = new State;
    return *s;
}

struct RegisterHook {
    RegisterHook()
    {
        fake::AddResetHook([] { St() = State(); });
    }
} g_registerHook;

const char *StateName(FindPortState state)
{
    switch (state) {
    case kFindPortWaiting:
        return "waiting";
    case kFindPortProbing:
        return "probing";
    case kFindPortSilent:
        return "silent";
    case kFindPortAnswered:
        return "answered";
    case kFindPortStopped:
        return "stopped";
    }
    return "?";
}

} // namespace

namespace fake {
namespace findwindow {

void CancelAt(DWORD dwAt)
{
    St().bCancelArmed = true;
    St().dwCancelAt = dwAt;
}

void FailOpen() { St().bFailOpen = true; }

const std::vector<std::string> &Events() { return St().events; }

bool IsOpen() { return St().bOpen; }

} // namespace findwindow
} // namespace fake

BOOL OpenFindWindow(FindProgress *lpWindow, HWND hwndOwner, LPCWSTR)
{
    memset(lpWindow, 0, sizeof *lpWindow);
    if (St().bFailOpen)
        return FALSE;
    if (St().bOpen) {
        fprintf(stderr, "fake OpenFindWindow: a second window while one is open\n");
        abort();
    }
    lpWindow->hwndOwner = hwndOwner;
    lpWindow->hwnd = hwndOwner; // any non-null value: the fake draws nothing
    St().bOpen = true;
    St().events.push_back("open");
    return TRUE;
}

void ShowFindPort(FindProgress *lpWindow, LONG lIndex, FindPortState state, const CommProbe *)
{
    if (!St().bOpen || lpWindow->hwnd == NULL) {
        fprintf(stderr, "fake ShowFindPort: no window is open\n");
        abort();
    }
    St().events.push_back("port COM" + std::to_string(lIndex + 1) + " " + StateName(state));
}

DWORD WaitPumping(FindProgress *lpWindow, DWORD cHandles, const HANDLE *rgHandles, BOOL bStopOnCancel)
{
    if (!St().bOpen) {
        fprintf(stderr, "fake WaitPumping: no window is open\n");
        abort();
    }
    if (bStopOnCancel && lpWindow->bCancelled)
        return cHandles;
    if (bStopOnCancel && St().bCancelArmed) {
        DWORD dwLeft = (int32_t)(St().dwCancelAt - fake::Now()) > 0 ? St().dwCancelAt - fake::Now() : 0;
        DWORD dwWait = WaitForMultipleObjects(cHandles, rgHandles, FALSE, dwLeft);
        if (dwWait != WAIT_TIMEOUT)
            return dwWait;
        lpWindow->bCancelled = TRUE;
        St().events.push_back("cancel");
        return cHandles;
    }
    return WaitForMultipleObjects(cHandles, rgHandles, FALSE, INFINITE);
}

void CloseFindWindow(FindProgress *lpWindow)
{
    St().bOpen = false;
    lpWindow->hwnd = NULL;
    St().events.push_back("close");
}
