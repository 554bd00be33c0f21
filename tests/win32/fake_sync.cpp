#include "fake_sync.h"

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "fake_platform.h"

namespace {

struct Event {
    bool bManualReset = true;
    bool bSet = false;
    bool bScheduled = false;
    DWORD dwSetAt = 0;
};

std::map<HANDLE, Event> &Events()
{
    static std::map<HANDLE, Event> *events = new std::map<HANDLE, Event>;
    return *events;
}

struct RegisterHook {
    RegisterHook()
    {
        fake::AddResetHook([] { Events().clear(); });
    }
} g_registerHook;

Event *EventOf(HANDLE h)
{
    if (!fake::IsOpenHandle(h))
        return nullptr;
    auto it = Events().find(h);
    return it == Events().end() ? nullptr : &it->second;
}

// Sets a scheduled event whose moment has come.
void Settle(Event &e)
{
    if (e.bScheduled && (int32_t)(fake::Now() - e.dwSetAt) >= 0) {
        e.bSet = true;
        e.bScheduled = false;
    }
}

} // namespace

namespace fake {
namespace sync {

void SetEventAt(HANDLE hEvent, DWORD dwAt)
{
    Event *e = EventOf(hEvent);
    if (!e) {
        fprintf(stderr, "fake SetEventAt: %p is not an event\n", hEvent);
        abort();
    }
    e->bScheduled = true;
    e->dwSetAt = dwAt;
    Settle(*e);
}

bool IsEventSet(HANDLE hEvent)
{
    Event *e = EventOf(hEvent);
    if (!e)
        return false;
    Settle(*e);
    return e->bSet;
}

} // namespace sync
} // namespace fake

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR)
{
    fake::RecordCall(std::string("CreateEventA(") + (bManualReset ? "manual" : "auto") + ", " +
                     (bInitialState ? "set" : "clear") + ")");
    if (fake::TakeFailure("CreateEventA"))
        return NULL;
    HANDLE h = fake::NewHandle("event");
    Event &e = Events()[h];
    e.bManualReset = bManualReset != FALSE;
    e.bSet = bInitialState != FALSE;
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    fake::RecordCall("SetEvent(" + fake::HandleName(hEvent) + ")");
    if (fake::TakeFailure("SetEvent"))
        return FALSE;
    Event *e = EventOf(hEvent);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->bSet = true;
    e->bScheduled = false;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    fake::RecordCall("WaitForSingleObject(" + fake::HandleName(hHandle) + ", " + std::to_string(dwMilliseconds) +
                     ")");
    if (fake::TakeFailure("WaitForSingleObject"))
        return WAIT_FAILED;
    Event *e = EventOf(hHandle);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    Settle(*e);
    if (!e->bSet && e->bScheduled && dwMilliseconds != INFINITE &&
        e->dwSetAt - fake::Now() <= dwMilliseconds) {
        fake::SetNow(e->dwSetAt);
        Settle(*e);
    } else if (!e->bSet && e->bScheduled && dwMilliseconds == INFINITE) {
        fake::SetNow(e->dwSetAt);
        Settle(*e);
    }
    if (e->bSet) {
        if (!e->bManualReset)
            e->bSet = false;
        return WAIT_OBJECT_0;
    }
    if (dwMilliseconds == INFINITE) {
        fprintf(stderr, "fake WaitForSingleObject: waits for ever on an event nothing will set\n");
        abort();
    }
    fake::Advance(dwMilliseconds);
    return WAIT_TIMEOUT;
}
