#include <stdio.h>
#include <string.h>

#include "Host.h"

static const HostVerb *g_pVerbs = nullptr;

void RegisterHostVerb(HostVerb *pVerb)
{
    pVerb->pNext = g_pVerbs;
    g_pVerbs = pVerb;
}

double HostElapsedMs(const LARGE_INTEGER *pStart)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return 1000.0 * static_cast<double>(now.QuadPart - pStart->QuadPart) / static_cast<double>(freq.QuadPart);
}

int main(int argc, char **argv)
{
    bool bByOrdinal = false;
    int i = 1;
    if (i < argc && strcmp(argv[i], "--by-ordinal") == 0) {
        bByOrdinal = true;
        ++i;
    }
    if (i >= argc) {
        fprintf(stderr, "usage: tvrhost [--by-ordinal] VERB [ARGS...]\n");
        return 2;
    }
    const HostVerb *pVerb = g_pVerbs;
    while (pVerb && strcmp(pVerb->pszName, argv[i]) != 0)
        pVerb = pVerb->pNext;
    if (!pVerb) {
        fprintf(stderr, "tvrhost: unknown verb %s\n", argv[i]);
        return 2;
    }
    TelvaridApi api;
    if (!LoadTelvarid(&api, bByOrdinal)) {
        printf("load=failed\n");
        return 3;
    }
    printf("load=ok by=%s\n", bByOrdinal ? "ordinal" : "name");
    int rc = pVerb->pfnRun(&api, argc - i - 1, argv + i + 1);
    // The library must let go of itself entirely: after the last FreeLibrary the module
    // is no longer mapped.
    BOOL bFreed = FreeLibrary(api.hModule);
    printf("unload=%s\n", bFreed ? "ok" : "failed");
    printf("after_unload=%s\n", GetModuleHandleA("telvarid.dll") ? "still-loaded" : "gone");
    fflush(stdout);
    return rc;
}
