// "exports": checks the export table of the loaded telvarid.dll as the loader sees it:
// module name, exactly four functions, ordinals 1 to 4 matching the names, no fifth
// export, and that loading, thread start and end, and unloading leave it unaffected.
#include <stdio.h>
#include <string.h>

#include "Host.h"

static DWORD WINAPI IdleThread(LPVOID) { return 0; }

static int RunExports(const TelvaridApi *pApi, int, char **)
{
    HMODULE h = pApi->hModule;
    const BYTE *pBase = reinterpret_cast<const BYTE *>(h);
    const IMAGE_DOS_HEADER *pDos = reinterpret_cast<const IMAGE_DOS_HEADER *>(pBase);
    const IMAGE_NT_HEADERS32 *pNt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(pBase + pDos->e_lfanew);
    printf("machine=0x%04x\n", pNt->FileHeader.Machine);
    const IMAGE_DATA_DIRECTORY &dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *pExp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(pBase + dir.VirtualAddress);
    printf("module=%s\n", reinterpret_cast<const char *>(pBase + pExp->Name));
    printf("functions=%lu names=%lu base=%lu\n", (unsigned long)pExp->NumberOfFunctions,
           (unsigned long)pExp->NumberOfNames, (unsigned long)pExp->Base);
    const DWORD *pNames = reinterpret_cast<const DWORD *>(pBase + pExp->AddressOfNames);
    const WORD *pOrdinals = reinterpret_cast<const WORD *>(pBase + pExp->AddressOfNameOrdinals);
    for (DWORD i = 0; i < pExp->NumberOfNames; ++i) {
        const char *pszName = reinterpret_cast<const char *>(pBase + pNames[i]);
        WORD wOrdinal = static_cast<WORD>(pOrdinals[i] + pExp->Base);
        FARPROC pByName = GetProcAddress(h, pszName);
        FARPROC pByOrdinal = GetProcAddress(h, MAKEINTRESOURCEA(wOrdinal));
        printf("export %s ordinal=%u same=%d\n", pszName, wOrdinal,
               pByName != nullptr && pByName == pByOrdinal ? 1 : 0);
    }
    printf("ordinal0=%s ordinal5=%s\n", GetProcAddress(h, MAKEINTRESOURCEA(0)) ? "found" : "none",
           GetProcAddress(h, MAKEINTRESOURCEA(5)) ? "found" : "none");
    printf("DllMain=%s\n", GetProcAddress(h, "DllMain") ? "exported" : "hidden");

    // Threads that start and end while the library is loaded reach its entry handler
    // with DLL_THREAD_ATTACH and DLL_THREAD_DETACH; the library must be unaffected.
    HANDLE hThread = CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
    DWORD dwWait = hThread ? WaitForSingleObject(hThread, 5000) : WAIT_FAILED;
    if (hThread)
        CloseHandle(hThread);
    printf("thread=%s\n", dwWait == WAIT_OBJECT_0 ? "ok" : "failed");

    // A second load and unload of the same module is only a reference count.
    HMODULE h2 = LoadLibraryA("telvarid.dll");
    printf("reload=%s\n", h2 == h ? "same" : "different");
    if (h2)
        FreeLibrary(h2);
    return 0;
}

TVR_HOST_VERB(exports, "exports", RunExports);
