// Core of the Win32 test double: the call log, failure injection, the thread's
// last-error value, a virtual millisecond clock, a registry of open handles and a
// counting heap. The subsystem fakes (serial ports, windows, the telephony library)
// build on these.
#ifndef TVR_TEST_FAKE_PLATFORM_H
#define TVR_TEST_FAKE_PLATFORM_H

#include <windows.h>

#include <string>
#include <vector>

namespace fake {

// Puts the whole double back to a fresh machine: no calls logged, no failures armed,
// no handles open, clock at 0, and every subsystem fake's own reset hook run.
void Reset();
// Subsystem fakes register a function that clears their own state at Reset().
void AddResetHook(void (*pfnHook)());

// Call log: every fake appends one line "Name(arg, arg, ...)" per call, in call order.
void RecordCall(const std::string &strLine);
const std::vector<std::string> &Calls();
// The logged lines whose function name is szName, in order.
std::vector<std::string> CallsTo(const char *szName);
size_t CountCalls(const char *szName);
// Only the function names of the log, in order.
std::vector<std::string> CallNames();

// Failure injection. The nth call (counted from 1) of szName fails and sets the last
// error to dwError; nth 0 fails every call of szName from now on.
void FailCall(const char *szName, DWORD dwError, int nth = 0);
// Called by a fake at the start of each call of szName: counts the call and says
// whether it must fail; on failure it also stores the error as the last error.
bool TakeFailure(const char *szName, DWORD *pdwError = nullptr);

// Virtual clock, in milliseconds, wrapping at 32 bits like GetTickCount.
DWORD Now();
void SetNow(DWORD dwNow);
void Advance(DWORD dwMs);
// How far each GetTickCount call moves the clock (0 by default): lets a busy poll
// that only reads the clock still see time pass.
void SetTickStep(DWORD dwStep);

// Handles: fakes create them here and check them on use.
HANDLE NewHandle(const std::string &strWhat);
bool IsOpenHandle(HANDLE h);
// Closes a handle; false if it was not open (a double close or a stray handle).
bool CloseFakeHandle(HANDLE h);
std::string HandleName(HANDLE h);
size_t OpenHandleCount();
// One line per handle still open, for a readable test failure.
std::vector<std::string> OpenHandleNames();

// Heap: the production code's malloc and free go through here in the host build.
// Counts allocations and releases made since Reset(), keeps the size of each
// allocation, and can fail the nth allocation (from 1; 0 fails all).
void FailAlloc(int nth = 0);
size_t AllocCount();
size_t FreeCount();
size_t LiveBlocks();
std::vector<size_t> AllocSizes();
bool IsLiveBlock(const void *p);
size_t BlockSize(const void *p);

// Formats a pointer, number or text the same way in every log line.
std::string Hex(uint64_t v);
std::string Ptr(const void *p);
std::string Str(const char *psz); // "text" in quotes, or NULL

} // namespace fake

#endif // TVR_TEST_FAKE_PLATFORM_H
