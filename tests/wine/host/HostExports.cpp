// "exports": checks the export table of the loaded telvarid.dll as the loader sees it:
// module name, exactly four functions, ordinals 1 to 4 matching the names, no fifth
// export, and that loading, thread start and end, and unloading leave it unaffected.
#include <stdio.h>
#include <string.h>

#include "Host.h"

static DWORD WINAPI IdleThread(LPVOID) { return 0; }

#if defined(__i386__)
// Calls pfn with the nArgs 32-bit arguments of adwArgs (first argument first) the way a
// cdecl caller does, and returns how far the stack pointer stands below where it stood
// before the arguments were pushed, as the callee left it: 4 * nArgs for a cdecl callee
// (the caller removes the arguments), 0 for a stdcall one (the callee removed them).
static long StackLeftByCallee(void *pfn, const DWORD *adwArgs, int nArgs)
{
    long lDelta;
    int nLeft = nArgs;
    __asm__ volatile(
        "movl %%esp, %%edi\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%edi, %%eax\n\t"
        "subl %%esp, %%eax\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(lDelta), "+c"(nLeft)
        : "S"(adwArgs), "b"(pfn)
        : "edx", "edi", "memory", "cc");
    return lDelta;
}

// Each export called once with harmless arguments (no COM port is linked in this suite,
// no dialog exists, the telephony library is Wine's): prints who removed the arguments.
static void PrintCallingConvention(const TelvaridApi *pApi)
{
    static char achName[76];
    static int nPort;
    const DWORD adwCheck[4] = {(DWORD)(UINT_PTR) "COM1", 9600, 0, 0};
    const DWORD adwDialog[5] = {0, (DWORD)(UINT_PTR) "", 4, 1, 0};
    const DWORD adwModem[1] = {(DWORD)(UINT_PTR)achName};
    const DWORD adwScan[1] = {(DWORD)(UINT_PTR)&nPort};
    struct {
        const char *pszName;
        void *pfn;
        const DWORD *adw;
        int nArgs;
    } calls[] = {
        {"TVRCheckCommParams", reinterpret_cast<void *>(pApi->pfnCheckCommParams), adwCheck, 4},
        {"TVRInitTextDialog", reinterpret_cast<void *>(pApi->pfnInitTextDialog), adwDialog, 5},
        {"TVRModemAvailable", reinterpret_cast<void *>(pApi->pfnModemAvailable), adwModem, 1},
        {"TVRScanForModem", reinterpret_cast<void *>(pApi->pfnScanForModem), adwScan, 1},
    };
    for (const auto &c : calls) {
        long lLeft = StackLeftByCallee(c.pfn, c.adw, c.nArgs);
        printf("convention %s %s\n", c.pszName,
               lLeft == 4L * c.nArgs ? "cdecl" : lLeft == 0 ? "stdcall" : "unbalanced");
    }
}
#else
// x86-64 has one calling convention, in which the caller always owns the stack: there
// is nothing a thunk could tell apart, so the check is reported as not applicable.
static void PrintCallingConvention(const TelvaridApi *)
{
    printf("convention=none-on-this-machine\n");
}
#endif

static int RunExports(const TelvaridApi *pApi, int, char **)
{
    HMODULE h = pApi->hModule;
    const BYTE *pBase = reinterpret_cast<const BYTE *>(h);
    const IMAGE_DOS_HEADER *pDos = reinterpret_cast<const IMAGE_DOS_HEADER *>(pBase);
    // IMAGE_NT_HEADERS is the build's own: the 32-bit form in the PE32 host, the 64-bit
    // form in the PE32+ one, matching the DLL that the host can load.
    const IMAGE_NT_HEADERS *pNt = reinterpret_cast<const IMAGE_NT_HEADERS *>(pBase + pDos->e_lfanew);
    printf("machine=0x%04x\n", pNt->FileHeader.Machine);
    printf("optional_magic=0x%03x\n", pNt->OptionalHeader.Magic);
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
    // Below the first ordinal and one past the last: nothing.
    printf("ordinal0=%s ordinal10=%s\n", GetProcAddress(h, MAKEINTRESOURCEA(0)) ? "found" : "none",
           GetProcAddress(h, MAKEINTRESOURCEA(10)) ? "found" : "none");
    printf("DllMain=%s\n", GetProcAddress(h, "DllMain") ? "exported" : "hidden");

    // Threads that start and end while the library is loaded reach its entry handler
    // with DLL_THREAD_ATTACH and DLL_THREAD_DETACH; the library must be unaffected.
    HANDLE hThread = CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
    DWORD dwWait = hThread ? WaitForSingleObject(hThread, 5000) : WAIT_FAILED;
    if (hThread)
        CloseHandle(hThread);
    printf("thread=%s\n", dwWait == WAIT_OBJECT_0 ? "ok" : "failed");
    // After those notifications the exports still work: with no port linked the scan
    // answers at once, 0 and port 0.
    int nPort = 12345;
    int nResult = pApi->pfnScanForModem(&nPort);
    printf("after_thread scan=%d port=%d\n", nResult, nPort);

    PrintCallingConvention(pApi);

    // A second load and unload of the same module is only a reference count.
    HMODULE h2 = LoadLibraryA("telvarid.dll");
    printf("reload=%s\n", h2 == h ? "same" : "different");
    if (h2)
        FreeLibrary(h2);
    return 0;
}

TVR_HOST_VERB(exports, "exports", RunExports);
