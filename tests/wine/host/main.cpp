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

// The wide arguments of the request being run: the process's own command line, or the
// served request's, which has none of its own.
static bool g_bServing = false;
static LPWSTR *g_ppszServedWide = nullptr;
static int g_nServedWide = 0;

LPWSTR *HostWideArgs(int *pnArgs)
{
    if (g_bServing) {
        *pnArgs = g_ppszServedWide ? g_nServedWide : 0;
        return g_ppszServedWide;
    }
    static LPWSTR *s_ppszArgs = nullptr;
    static int s_nArgs = 0;
    if (!s_ppszArgs)
        s_ppszArgs = CommandLineToArgvW(GetCommandLineW(), &s_nArgs);
    *pnArgs = s_ppszArgs ? s_nArgs : 0;
    return s_ppszArgs;
}

// Runs one request: [--by-ordinal] VERB [ARGS...]. Loads the library, runs the verb and
// frees the library again, so that every request starts from an unloaded library.
static int RunRequest(int argc, char **argv)
{
    bool bByOrdinal = false;
    int i = 0;
    if (i < argc && strcmp(argv[i], "--by-ordinal") == 0) {
        bByOrdinal = true;
        ++i;
    }
    if (i >= argc) {
        fprintf(stderr, "usage: tvrhost [--by-ordinal] VERB [ARGS...] | tvrhost --serve FOLDER\n");
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

// Reads the whole of a small file into a heap block with a terminating NUL; NULL when it
// cannot be opened yet (the suite renames the request into place whole).
static char *ReadRequest(const char *pszPath, DWORD *pcb)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD cb = GetFileSize(hFile, NULL);
    char *pBuf = NULL;
    DWORD cbRead = 0;
    if (cb != INVALID_FILE_SIZE && cb < 65536) {
        pBuf = static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb + 1));
        if (pBuf && (!ReadFile(hFile, pBuf, cb, &cbRead, NULL) || cbRead != cb)) {
            HeapFree(GetProcessHeap(), 0, pBuf);
            pBuf = NULL;
        }
    }
    CloseHandle(hFile);
    *pcb = cbRead;
    return pBuf;
}

// The request's arguments as UTF-16, in one heap block: an array of pointers followed by
// the strings. NULL when the block cannot be had (a verb then finds no wide arguments).
static LPWSTR *WidenArgs(char **ppszArgs, int nArgs)
{
    size_t cchAll = 0;
    for (int i = 0; i < nArgs; ++i)
        cchAll += static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, ppszArgs[i], -1, NULL, 0)) + 1;
    LPWSTR *ppszWide = static_cast<LPWSTR *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, nArgs * sizeof(LPWSTR) + cchAll * sizeof(WCHAR)));
    if (!ppszWide)
        return NULL;
    LPWSTR pszNext = reinterpret_cast<LPWSTR>(ppszWide + nArgs);
    for (int i = 0; i < nArgs; ++i) {
        int cch = MultiByteToWideChar(CP_UTF8, 0, ppszArgs[i], -1, NULL, 0) + 1;
        ppszWide[i] = pszNext;
        MultiByteToWideChar(CP_UTF8, 0, ppszArgs[i], -1, pszNext, cch);
        pszNext += cch;
    }
    return ppszWide;
}

// Writes the request's exit code to FOLDER\done, whole: into a file beside it first.
static void AnswerRequest(const char *pszTmp, const char *pszDone, int rc)
{
    char szRc[16];
    wsprintfA(szRc, "%d\n", rc);
    HANDLE hFile = CreateFileA(pszTmp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE) {
        DWORD cbWritten = 0;
        WriteFile(hFile, szRc, lstrlenA(szRc), &cbWritten, NULL);
        CloseHandle(hFile);
    }
    MoveFileExA(pszTmp, pszDone, MOVEFILE_REPLACE_EXISTING);
}

// --serve FOLDER: runs the suite's requests one after another in this one process, since
// under software emulation a Wine program's start costs seconds. A request is
// FOLDER\req, NUL-separated: the output file, the error file, then at most 62 arguments
// as on a command line ("quit" ends the server; more arguments are refused with 2).
// When it has run, its exit code is written to FOLDER\done. Each request loads and frees
// the library itself, and whatever its windows left in this thread's message queue (a
// WM_QUIT posted again) is taken away before the next one.
static int Serve(const char *pszFolder)
{
    if (lstrlenA(pszFolder) > MAX_PATH - 16) {
        fprintf(stderr, "tvrhost: the folder's name is too long\n");
        return 2;
    }
    char szReq[MAX_PATH], szTmp[MAX_PATH], szDone[MAX_PATH];
    wsprintfA(szReq, "%s\\req", pszFolder);
    wsprintfA(szTmp, "%s\\done.tmp", pszFolder);
    wsprintfA(szDone, "%s\\done", pszFolder);
    for (;;) {
        DWORD cb = 0;
        char *pReq = ReadRequest(szReq, &cb);
        if (!pReq) {
            Sleep(20);
            continue;
        }
        DeleteFileA(szReq);
        const int kMaxFields = 64;
        char *rgpsz[kMaxFields];
        int nFields = 0;
        DWORD i = 0;
        for (; i < cb && nFields < kMaxFields; i += static_cast<DWORD>(strlen(pReq + i)) + 1)
            rgpsz[nFields++] = pReq + i;
        if (nFields < 3 || strcmp(rgpsz[2], "quit") == 0) {
            HeapFree(GetProcessHeap(), 0, pReq);
            return 0;
        }
        if (i < cb) {
            HeapFree(GetProcessHeap(), 0, pReq);
            AnswerRequest(szTmp, szDone, 2);
            continue;
        }
        g_nServedWide = nFields - 2;
        g_ppszServedWide = WidenArgs(rgpsz + 2, g_nServedWide);

        freopen(rgpsz[0], "w", stdout);
        freopen(rgpsz[1], "w", stderr);
        int rc = RunRequest(nFields - 2, rgpsz + 2);
        fflush(stdout);
        fflush(stderr);
        freopen("NUL", "w", stdout);
        freopen("NUL", "w", stderr);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        }

        if (g_ppszServedWide)
            HeapFree(GetProcessHeap(), 0, g_ppszServedWide);
        g_ppszServedWide = nullptr;
        g_nServedWide = 0;
        HeapFree(GetProcessHeap(), 0, pReq);
        AnswerRequest(szTmp, szDone, rc);
    }
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--serve") == 0) {
        g_bServing = true;
        return Serve(argv[2]);
    }
    return RunRequest(argc - 1, argv + 1);
}
