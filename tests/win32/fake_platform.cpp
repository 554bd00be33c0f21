#include "fake_platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <string.h>

namespace fake {
namespace {

struct Failure {
    DWORD dwError;
    int nth; // 0: every call
};

struct State {
    std::vector<std::string> calls;
    std::map<std::string, std::vector<Failure>> failures;
    std::map<std::string, int> callCounts;
    DWORD dwLastError = 0;
    DWORD dwNow = 0;
    DWORD dwTickStep = 0;
    uintptr_t nextHandle = 0x1000;
    std::map<HANDLE, std::string> handles;
    int nFailAlloc = -1; // -1: none armed
    size_t allocCount = 0;
    size_t freeCount = 0;
    std::vector<size_t> allocSizes;
    std::map<const void *, size_t> liveBlocks;
};

State &S()
{
    static State *s = new State; // never destroyed: fakes may run during static teardown
    return *s;
}

std::vector<void (*)()> &Hooks()
{
    static std::vector<void (*)()> *hooks = new std::vector<void (*)()>;
    return *hooks;
}

} // namespace

void Reset()
{
    State &s = S();
    s.calls.clear();
    s.failures.clear();
    s.callCounts.clear();
    s.dwLastError = 0;
    s.dwNow = 0;
    s.dwTickStep = 0;
    s.handles.clear();
    s.nFailAlloc = -1;
    s.allocCount = 0;
    s.freeCount = 0;
    s.allocSizes.clear();
    s.liveBlocks.clear();
    for (void (*pfn)() : Hooks())
        pfn();
}

void AddResetHook(void (*pfnHook)()) { Hooks().push_back(pfnHook); }

void RecordCall(const std::string &strLine) { S().calls.push_back(strLine); }
const std::vector<std::string> &Calls() { return S().calls; }

static std::string NameOf(const std::string &strLine)
{
    return strLine.substr(0, strLine.find('('));
}

std::vector<std::string> CallsTo(const char *szName)
{
    std::vector<std::string> out;
    for (const std::string &c : S().calls)
        if (NameOf(c) == szName)
            out.push_back(c);
    return out;
}

size_t CountCalls(const char *szName) { return CallsTo(szName).size(); }

std::vector<std::string> CallNames()
{
    std::vector<std::string> out;
    for (const std::string &c : S().calls)
        out.push_back(NameOf(c));
    return out;
}

void FailCall(const char *szName, DWORD dwError, int nth)
{
    S().failures[szName].push_back(Failure{dwError, nth});
}

bool TakeFailure(const char *szName, DWORD *pdwError)
{
    State &s = S();
    int n = ++s.callCounts[szName];
    auto it = s.failures.find(szName);
    if (it == s.failures.end())
        return false;
    for (const Failure &f : it->second) {
        if (f.nth == 0 || f.nth == n) {
            s.dwLastError = f.dwError;
            if (pdwError)
                *pdwError = f.dwError;
            return true;
        }
    }
    return false;
}

DWORD Now() { return S().dwNow; }
void SetNow(DWORD dwNow) { S().dwNow = dwNow; }
void Advance(DWORD dwMs) { S().dwNow += dwMs; }
void SetTickStep(DWORD dwStep) { S().dwTickStep = dwStep; }

HANDLE NewHandle(const std::string &strWhat)
{
    State &s = S();
    HANDLE h = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 4;
    s.handles[h] = strWhat;
    return h;
}

bool IsOpenHandle(HANDLE h) { return S().handles.count(h) != 0; }

bool CloseFakeHandle(HANDLE h) { return S().handles.erase(h) != 0; }

std::string HandleName(HANDLE h)
{
    auto it = S().handles.find(h);
    return it == S().handles.end() ? std::string("?") : it->second;
}

size_t OpenHandleCount() { return S().handles.size(); }

std::vector<std::string> OpenHandleNames()
{
    std::vector<std::string> out;
    for (const auto &kv : S().handles)
        out.push_back(kv.second);
    return out;
}

void FailAlloc(int nth) { S().nFailAlloc = nth; }
size_t AllocCount() { return S().allocCount; }
size_t FreeCount() { return S().freeCount; }
size_t LiveBlocks() { return S().liveBlocks.size(); }
std::vector<size_t> AllocSizes() { return S().allocSizes; }
bool IsLiveBlock(const void *p) { return S().liveBlocks.count(p) != 0; }
size_t BlockSize(const void *p)
{
    auto it = S().liveBlocks.find(p);
    return it == S().liveBlocks.end() ? 0 : it->second;
}

std::string Hex(uint64_t v)
{
    char sz[32];
    snprintf(sz, sizeof sz, "0x%llx", static_cast<unsigned long long>(v));
    return sz;
}

std::string Ptr(const void *p)
{
    return p ? Hex(reinterpret_cast<uintptr_t>(p)) : std::string("NULL");
}

std::string Str(const char *psz)
{
    return psz ? "\"" + std::string(psz) + "\"" : std::string("NULL");
}

// The counting heap, reached through the linker's --wrap=malloc and --wrap=free.
void *HeapAlloc(size_t cb, void *(*pfnReal)(size_t))
{
    State &s = S();
    ++s.allocCount;
    s.allocSizes.push_back(cb);
    if (s.nFailAlloc == 0 || s.nFailAlloc == static_cast<int>(s.allocCount))
        return nullptr;
    void *p = pfnReal(cb);
    if (p)
        s.liveBlocks[p] = cb;
    return p;
}

void HeapFree(void *p, void (*pfnReal)(void *))
{
    State &s = S();
    if (p) {
        ++s.freeCount;
        s.liveBlocks.erase(p);
    }
    pfnReal(p);
}

} // namespace fake

// Kernel functions that belong to no subsystem.
DWORD WINAPI GetLastError(void) { return fake::S().dwLastError; }
void WINAPI SetLastError(DWORD dwErrCode) { fake::S().dwLastError = dwErrCode; }

DWORD WINAPI GetTickCount(void)
{
    fake::State &s = fake::S();
    DWORD dwNow = s.dwNow;
    s.dwNow += s.dwTickStep;
    return dwNow;
}

extern "C" void *__real_malloc(size_t);
extern "C" void __real_free(void *);
extern "C" void *__wrap_malloc(size_t cb) { return fake::HeapAlloc(cb, __real_malloc); }
extern "C" void __wrap_free(void *p) { fake::HeapFree(p, __real_free); }
