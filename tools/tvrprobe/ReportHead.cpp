// The report's head: tvrprobe's and the DLL's versions, the Windows version, the date and
// time, the DLL's full path and architecture, and in plain words why the DLL could not
// be loaded when it could not (the usual case: the DLL of the other build beside it).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "ReportParts.h"
#include "ReportText.h"
#include "VersionText.h"

typedef LONG(WINAPI *PFN_RTLGETVERSION)(OSVERSIONINFOW *);

// The version Windows itself reports (RtlGetVersion, which no compatibility shim lowers).
static void PrintWindowsVersion(void)
{
    OSVERSIONINFOW info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    PFN_RTLGETVERSION pfnGetVersion = hNtdll ? reinterpret_cast<PFN_RTLGETVERSION>(reinterpret_cast<void *>(
                                                   GetProcAddress(hNtdll, "RtlGetVersion")))
                                             : NULL;
    if (pfnGetVersion && pfnGetVersion(&info) == 0)
        printf("Windows: version %lu.%lu, build %lu\n", (unsigned long)info.dwMajorVersion,
               (unsigned long)info.dwMinorVersion, (unsigned long)info.dwBuildNumber);
    else
        printf("Windows: version unknown\n");
}

// The machine type of the PE file at pszPath; 0 when it can't be read or is not one.
static uint16_t ReadFileMachine(const char *pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    static BYTE rgbHead[4096];
    DWORD cbRead = 0;
    if (!ReadFile(hFile, rgbHead, sizeof rgbHead, &cbRead, NULL))
        cbRead = 0;
    CloseHandle(hFile);
    return ReadPeMachine(rgbHead, cbRead);
}

// The system's words for an error, on one line without its final full stop.
static void ErrorText(DWORD dwError, char *pszOut, DWORD cchOut)
{
    pszOut[0] = 0;
    if (dwError == ERROR_BAD_EXE_FORMAT) {
        // Windows words it "%1 is not a valid Win32 application."
        snprintf(pszOut, cchOut, "not a valid Win32 application");
        return;
    }
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, dwError, 0, pszOut,
                               cchOut, NULL);
    while (cch > 0 && (pszOut[cch - 1] == '\r' || pszOut[cch - 1] == '\n' || pszOut[cch - 1] == '.' ||
                       pszOut[cch - 1] == ' '))
        pszOut[--cch] = 0;
}

// The report's head: versions, the Windows version, the date and time, the DLL's full path
// and architecture, and why it could not be loaded when it could not.
void ReportHead(const TelvaridApi *pApi)
{
    char szPath[MAX_PATH];
    if (!pApi->hModule || !GetModuleFileNameA(pApi->hModule, szPath, MAX_PATH))
        TelvaridBesideProgram(szPath, MAX_PATH);
    char szVersion[64];
    if (!ReadFileVersionText(szPath, szVersion, sizeof szVersion))
        snprintf(szVersion, sizeof szVersion, "without a version resource");
    printf("telvarid report: tvrprobe %s (%s), telvarid.dll %s\n", TVR_VERSION_TEXT, ProbeBitness(), szVersion);
    PrintWindowsVersion();
    SYSTEMTIME now;
    GetLocalTime(&now);
    printf("Date: %04u-%02u-%02u %02u:%02u:%02u (local time)\n", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
    const uint16_t wOwnMachine = sizeof(void *) == 8 ? kMachineAmd64 : kMachineI386;
    const uint16_t wDllMachine = ReadFileMachine(szPath);
    if (GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES)
        printf("telvarid.dll: missing (looked for %s)\n", szPath);
    else
        printf("telvarid.dll: %s, %s\n", szPath, wDllMachine ? MachineText(wDllMachine) : "not a program file");
    if (!pApi->hModule) {
        char szError[256];
        ErrorText(pApi->dwLoadError, szError, sizeof szError);
        printf("telvarid.dll could not be loaded (error %lu, %s).\n", (unsigned long)pApi->dwLoadError, szError);
        if (wDllMachine && wDllMachine != wOwnMachine)
            printf("It is the %s build, and this tvrprobe.exe is the %s build: put the telvarid.dll of the %s "
                   "folder beside it, or run the tvrprobe.exe of the %s folder.\n",
                   MachineText(wDllMachine), MachineText(wOwnMachine), wOwnMachine == kMachineAmd64 ? "x64" : "x86",
                   wDllMachine == kMachineAmd64 ? "x64" : "x86");
        printf("The ports and the telephony lines follow; the answers of telvarid.dll can't be shown.\n");
    }
    printf("\n");
}
