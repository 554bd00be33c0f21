// The Wine test host: a console program that loads telvarid.dll as a setup program
// does and drives one export per verb, printing machine-readable "key=value" lines
// that the suites in tests/wine read. Each verb lives in its own file and registers
// itself with TVR_HOST_VERB.
//
//   tvrhost [--by-ordinal] VERB [ARGS...]
//   tvrhost --serve FOLDER    the same, request after request, in one process
#ifndef TVR_TEST_HOST_H
#define TVR_TEST_HOST_H

#include "tools/tvrprobe/TelvaridLoader.h"

struct HostVerb {
    const char *pszName;
    // Runs the verb; the library is loaded already (by name, or by ordinal when the
    // host was given --by-ordinal). Returns the process exit code.
    int (*pfnRun)(const TelvaridApi *pApi, int argc, char **argv);
    const HostVerb *pNext;
};

void RegisterHostVerb(HostVerb *pVerb);

struct HostVerbRegistrar {
    explicit HostVerbRegistrar(HostVerb *pVerb) { RegisterHostVerb(pVerb); }
};

#define TVR_HOST_VERB(ident, name, fn)                          \
    static HostVerb g_hostverb_##ident = {name, fn, nullptr}; \
    static HostVerbRegistrar g_hostregistrar_##ident(&g_hostverb_##ident)

// The request's arguments as UTF-16, for a verb that needs characters outside the ANSI
// code page: the command line's (the program's name first), or a served request's.
LPWSTR *HostWideArgs(int *pnArgs);

// Milliseconds elapsed since pStart, from the high-resolution counter.
double HostElapsedMs(const LARGE_INTEGER *pStart);

#endif // TVR_TEST_HOST_H
