// tvrprobe: loads telvarid.dll from its own folder, as a setup program does, and asks
// it the question that the verb names, printing the answer in plain words.
//
//   tvrprobe                 the same as "tvrprobe scan"
//   tvrprobe help            lists the verbs (also -h, --help, /?)
//   tvrprobe --version       its own version and that of the telvarid.dll beside it
//   tvrprobe VERB [ARGS...]
#include <stdio.h>
#include <string.h>

#include "VersionText.h"
#include "Verbs.h"

static const ProbeVerb *g_pVerbs = nullptr;

void RegisterProbeVerb(ProbeVerb *pVerb)
{
    // Kept sorted by name, so that the help text lists the verbs alphabetically.
    const ProbeVerb **ppAt = &g_pVerbs;
    while (*ppAt && strcmp((*ppAt)->pszName, pVerb->pszName) < 0)
        ppAt = const_cast<const ProbeVerb **>(&(*ppAt)->pNext);
    pVerb->pNext = *ppAt;
    *ppAt = pVerb;
}

static void PrintUsage(void)
{
    printf("usage: tvrprobe [VERB [ARGS...]]   (no verb: scan)\n");
    printf("       tvrprobe --version\n");
    printf("A console program: run it in a command prompt; keep its output with\n"
           "  tvrprobe report > report.txt\n");
    printf("Exit codes of the report: 0 a modem was found, 1 none was found, 2 a usage error,\n"
           "3 telvarid.dll beside it could not be loaded (the report says why and still lists\n"
           "the ports and telephony lines).\n\n");
    for (const ProbeVerb *pVerb = g_pVerbs; pVerb; pVerb = pVerb->pNext)
        printf("  tvrprobe %s %s\n      %s\n", pVerb->pszName, pVerb->pszUsage, pVerb->pszSummary);
}

// Answers without loading the DLL, so that it also works when the DLL is missing or
// damaged: that is when someone asks.
static int PrintVersion(void)
{
    printf("tvrprobe %s (%s)\n", TVR_VERSION_TEXT, ProbeBitness());
    char szPath[MAX_PATH];
    char szVersion[64];
    TelvaridBesideProgram(szPath, MAX_PATH);
    if (ReadFileVersionText(szPath, szVersion, sizeof szVersion))
        printf("telvarid.dll beside it: version %s\n", szVersion);
    else if (GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES)
        printf("telvarid.dll beside it: missing\n");
    else
        printf("telvarid.dll beside it: no version resource\n");
    return 0;
}

int main(int argc, char **argv)
{
    const char *pszVerb = argc > 1 ? argv[1] : "scan";
    if (strcmp(pszVerb, "--version") == 0 || strcmp(pszVerb, "version") == 0)
        return PrintVersion();
    if (strcmp(pszVerb, "help") == 0 || strcmp(pszVerb, "--help") == 0 || strcmp(pszVerb, "-h") == 0 ||
        strcmp(pszVerb, "/?") == 0) {
        PrintUsage();
        return 0;
    }
    const ProbeVerb *pVerb = g_pVerbs;
    while (pVerb && strcmp(pVerb->pszName, pszVerb) != 0)
        pVerb = pVerb->pNext;
    if (!pVerb) {
        fprintf(stderr, "tvrprobe: unknown verb \"%s\"\n\n", pszVerb);
        PrintUsage();
        return 2;
    }

    TelvaridApi api;
    if (!LoadTelvarid(&api, false) && !pVerb->bRunsWithoutDll) {
        fprintf(stderr, "tvrprobe: telvarid.dll could not be loaded from beside tvrprobe.exe "
                        "(or it lacks one of its four exports)\n");
        return 3;
    }
    int rc = pVerb->pfnRun(&api, argc > 1 ? argc - 2 : 0, argc > 1 ? argv + 2 : argv + argc);
    UnloadTelvarid(&api);
    fflush(stdout);
    return rc;
}
