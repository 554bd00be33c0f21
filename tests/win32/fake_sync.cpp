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

struct ThreadState {
    std::vector<HANDLE> handles;
    std::vector<fake::sync::ThreadRecord> records;
    bool bNextEventScheduled = false;
    DWORD dwNextEventAt = 0;
};

ThreadState &Th()
{
    static ThreadState *th = new ThreadState;
    return *th;
}

struct RegisterHook {
    RegisterHook()
    {
        fake::AddResetHook([] {
            Events().clear();
            Th() = ThreadState();
        });
    }
} g_registerHook;

// The index of a thread handle, or -1.
int ThreadOf(HANDLE h)
{
    if (!fake::IsOpenHandle(h))
        return -1;
    for (size_t i = 0; i < Th().handles.size(); ++i)
        if (Th().handles[i] == h)
            return (int)i;
    return -1;
}

// When the handle counts as signalled from, for an event (scheduled, or already set:
// now) or a thread; false when it never will by itself.
bool SignalledFrom(HANDLE h, DWORD *pdwAt)
{
    int iThread = ThreadOf(h);
    if (iThread >= 0) {
        *pdwAt = Th().records[iThread].dwEnd;
        return true;
    }
    auto it = Events().find(h);
    if (it == Events().end() || !fake::IsOpenHandle(h))
        return false;
    if (it->second.bSet) {
        *pdwAt = fake::Now();
        return true;
    }
    if (it->second.bScheduled) {
        *pdwAt = it->second.dwSetAt;
        return true;
    }
    return false;
}

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

void SetNextEventAt(DWORD dwAt)
{
    Th().bNextEventScheduled = true;
    Th().dwNextEventAt = dwAt;
}

const std::vector<ThreadRecord> &Threads()
{
    for (size_t i = 0; i < Th().handles.size(); ++i)
        Th().records[i].bClosed = !fake::IsOpenHandle(Th().handles[i]);
    return Th().records;
}

size_t MostThreadsAtOnce()
{
    size_t most = 0;
    for (const ThreadRecord &a : Th().records) {
        size_t n = 0;
        for (const ThreadRecord &b : Th().records)
            if (b.dwStart <= a.dwStart && a.dwStart < b.dwEnd)
                ++n;
        if (n > most)
            most = n;
    }
    return most;
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
    if (Th().bNextEventScheduled) {
        Th().bNextEventScheduled = false;
        e.bScheduled = true;
        e.dwSetAt = Th().dwNextEventAt;
        Settle(e);
    }
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
    if (ThreadOf(hHandle) >= 0) {
        DWORD dwEnd = Th().records[ThreadOf(hHandle)].dwEnd;
        if ((int32_t)(dwEnd - fake::Now()) <= 0) {
            Th().records[ThreadOf(hHandle)].bWaited = true;
            return WAIT_OBJECT_0;
        }
        if (dwMilliseconds == INFINITE || dwEnd - fake::Now() <= dwMilliseconds) {
            fake::SetNow(dwEnd);
            Th().records[ThreadOf(hHandle)].bWaited = true;
            return WAIT_OBJECT_0;
        }
        fake::Advance(dwMilliseconds);
        return WAIT_TIMEOUT;
    }
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

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    std::string strLine = "WaitForMultipleObjects(";
    for (DWORD i = 0; i < nCount; ++i)
        strLine += (i ? ", " : "") + fake::HandleName(lpHandles[i]);
    fake::RecordCall(strLine + ", " + (bWaitAll ? "all" : "any") + ", " + std::to_string(dwMilliseconds) + ")");
    if (fake::TakeFailure("WaitForMultipleObjects"))
        return WAIT_FAILED;
    if (bWaitAll || nCount == 0) {
        fprintf(stderr, "fake WaitForMultipleObjects: only a wait for any one of one or more handles is modelled\n");
        abort();
    }
    // The handle signalled first; the lowest index among those signalled together.
    int iFirst = -1;
    DWORD dwFirst = 0;
    for (DWORD i = 0; i < nCount; ++i) {
        DWORD dwAt;
        if (!SignalledFrom(lpHandles[i], &dwAt)) {
            if (!fake::IsOpenHandle(lpHandles[i])) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            continue;
        }
        if ((int32_t)(dwAt - fake::Now()) < 0)
            dwAt = fake::Now();
        if (iFirst < 0 || (int32_t)(dwAt - dwFirst) < 0) {
            iFirst = (int)i;
            dwFirst = dwAt;
        }
    }
    if (iFirst < 0 || (dwMilliseconds != INFINITE && dwFirst - fake::Now() > dwMilliseconds)) {
        if (dwMilliseconds == INFINITE) {
            fprintf(stderr, "fake WaitForMultipleObjects: waits for ever on handles nothing will signal\n");
            abort();
        }
        fake::Advance(dwMilliseconds);
        return WAIT_TIMEOUT;
    }
    fake::SetNow(dwFirst);
    HANDLE h = lpHandles[iFirst];
    int iThread = ThreadOf(h);
    if (iThread >= 0) {
        Th().records[iThread].bWaited = true;
    } else {
        Event *e = EventOf(h);
        Settle(*e);
        if (!e->bManualReset)
            e->bSet = false;
    }
    return WAIT_OBJECT_0 + (DWORD)iFirst;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    fake::RecordCall("CreateThread(" + std::to_string(dwCreationFlags) + ")");
    if (fake::TakeFailure("CreateThread"))
        return NULL;
    HANDLE h = fake::NewHandle("thread");
    fake::sync::ThreadRecord record;
    record.dwStart = fake::Now();
    record.bWaited = false;
    record.bClosed = false;
    // The thread runs now, to its end, on its own clock; the creator's is put back.
    lpStartAddress(lpParameter);
    record.dwEnd = fake::Now();
    fake::SetNow(record.dwStart);
    Th().handles.push_back(h);
    Th().records.push_back(record);
    if (lpThreadId)
        *lpThreadId = (DWORD)Th().handles.size();
    return h;
}
