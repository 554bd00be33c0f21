// Events and threads of the Win32 test double, on the virtual clock.
//
// Events (CreateEventA, SetEvent): a wait on an event that is not set moves the clock by
// its whole time-out; an event may be scheduled to be set at a moment of the clock, and
// a wait that spans that moment ends there, with the clock moved to it.
//
// Threads (CreateThread): a thread runs to its end inside CreateThread, on a clock of
// its own that starts at the moment of its creation; the caller's clock is then put
// back. Its handle counts as signalled from the moment the thread's clock reached at its
// end: WaitForSingleObject and WaitForMultipleObjects (any one) move the caller's clock
// to the earliest such moment among the handles, or by the time-out. So independent
// threads overlap in virtual time as real ones do; a thread that must see a stop set
// by its creator later is given an event scheduled up front (SetNextEventAt).
#ifndef TVR_TEST_FAKE_SYNC_H
#define TVR_TEST_FAKE_SYNC_H

#include <windows.h>

#include <vector>

namespace fake {
namespace sync {

// The event is set once the virtual clock reaches dwAt (at once if it has).
void SetEventAt(HANDLE hEvent, DWORD dwAt);
bool IsEventSet(HANDLE hEvent);
// The next event CreateEventA makes is scheduled to be set at dwAt.
void SetNextEventAt(DWORD dwAt);

struct ThreadRecord {
    DWORD dwStart;
    DWORD dwEnd;    // the thread's clock when its function returned
    bool bWaited;   // a wait saw its handle signalled
    bool bClosed;   // its handle was closed
};
// Every thread created since Reset(), in creation order.
const std::vector<ThreadRecord> &Threads();
// How many of them run at the same moment at most (by their start and end times).
size_t MostThreadsAtOnce();

} // namespace sync
} // namespace fake

#endif // TVR_TEST_FAKE_SYNC_H
