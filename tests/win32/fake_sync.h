// Events of the Win32 test double: CreateEventA, SetEvent and WaitForSingleObject on the
// virtual clock. A wait on an event that is not set moves the clock by its whole
// time-out; an event may be scheduled to be set at a moment of the clock, and a wait
// that spans that moment ends there, with the clock moved to it.
#ifndef TVR_TEST_FAKE_SYNC_H
#define TVR_TEST_FAKE_SYNC_H

#include <windows.h>

namespace fake {
namespace sync {

// The event is set once the virtual clock reaches dwAt (at once if it has).
void SetEventAt(HANDLE hEvent, DWORD dwAt);
bool IsEventSet(HANDLE hEvent);

} // namespace sync
} // namespace fake

#endif // TVR_TEST_FAKE_SYNC_H
