// tvrprobe's verbs. Each verb lives in its own file and registers itself here, so that
// the dispatcher in main.cpp needs no change when a verb is added.
#ifndef TVR_TOOLS_VERBS_H
#define TVR_TOOLS_VERBS_H

#include "TelvaridLoader.h"

struct ProbeVerb {
    const char *pszName;
    const char *pszUsage;    // arguments, shown by "tvrprobe help"
    const char *pszSummary;  // one line of what it does
    // Runs the verb on the loaded library; argv holds the verb's own arguments.
    int (*pfnRun)(const TelvaridApi *pApi, int argc, char **argv);
    const ProbeVerb *pNext;
    // The verb runs even when telvarid.dll can't be loaded (pApi->hModule is then NULL and
    // pApi->dwLoadError says why): the report still has the ports and telephony to show.
    bool bRunsWithoutDll;
};

// Adds a verb to the list; use through TVR_PROBE_VERB at file scope.
void RegisterProbeVerb(ProbeVerb *pVerb);

struct ProbeVerbRegistrar {
    explicit ProbeVerbRegistrar(ProbeVerb *pVerb) { RegisterProbeVerb(pVerb); }
};

#define TVR_PROBE_VERB_ENTRY(ident, name, usage, summary, fn, bWithoutDll)                \
    static ProbeVerb g_verb_##ident = {name, usage, summary, fn, nullptr, bWithoutDll}; \
    static ProbeVerbRegistrar g_registrar_##ident(&g_verb_##ident)
#define TVR_PROBE_VERB(ident, name, usage, summary, fn) \
    TVR_PROBE_VERB_ENTRY(ident, name, usage, summary, fn, false)
#define TVR_PROBE_VERB_WITHOUT_DLL(ident, name, usage, summary, fn) \
    TVR_PROBE_VERB_ENTRY(ident, name, usage, summary, fn, true)

#endif // TVR_TOOLS_VERBS_H
