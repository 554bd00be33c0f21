// Loads telvarid.dll as a setup program does, at run time and by name, and resolves
// its four exports either by name or by ordinal. Shared by tvrprobe and the Wine test
// host.
#ifndef TVR_TOOLS_TELVARID_LOADER_H
#define TVR_TOOLS_TELVARID_LOADER_H

#include <windows.h>

#include "frame/telvarid.h"

struct TelvaridApi {
    HMODULE hModule;
    PFN_TVRCHECKCOMMPARAMS pfnCheckCommParams;  // ordinal 1
    PFN_TVRINITTEXTDIALOG pfnInitTextDialog;    // ordinal 2
    PFN_TVRMODEMAVAILABLE pfnModemAvailable;    // ordinal 3
    PFN_TVRSCANFORMODEM pfnScanForModem;        // ordinal 4
    DWORD dwLoadError; // why LoadTelvarid failed: LoadLibraryA's error, or ERROR_PROC_NOT_FOUND
};

// Resolves one export by name or, with bByOrdinal, by its ordinal.
inline FARPROC TelvaridProc(HMODULE hModule, const char *pszName, WORD wOrdinal, bool bByOrdinal)
{
    return GetProcAddress(hModule, bByOrdinal ? MAKEINTRESOURCEA(wOrdinal) : pszName);
}

// Loads telvarid.dll (found beside the program first, as Windows searches) and fills
// pApi. Returns false, with nothing loaded, when the DLL or any export is missing.
inline bool LoadTelvarid(TelvaridApi *pApi, bool bByOrdinal)
{
    ZeroMemory(pApi, sizeof *pApi);
    pApi->hModule = LoadLibraryA("telvarid.dll");
    if (!pApi->hModule) {
        pApi->dwLoadError = GetLastError();
        return false;
    }
    pApi->pfnCheckCommParams = reinterpret_cast<PFN_TVRCHECKCOMMPARAMS>(
        reinterpret_cast<void *>(TelvaridProc(pApi->hModule, "TVRCheckCommParams", 1, bByOrdinal)));
    pApi->pfnInitTextDialog = reinterpret_cast<PFN_TVRINITTEXTDIALOG>(
        reinterpret_cast<void *>(TelvaridProc(pApi->hModule, "TVRInitTextDialog", 2, bByOrdinal)));
    pApi->pfnModemAvailable = reinterpret_cast<PFN_TVRMODEMAVAILABLE>(
        reinterpret_cast<void *>(TelvaridProc(pApi->hModule, "TVRModemAvailable", 3, bByOrdinal)));
    pApi->pfnScanForModem = reinterpret_cast<PFN_TVRSCANFORMODEM>(
        reinterpret_cast<void *>(TelvaridProc(pApi->hModule, "TVRScanForModem", 4, bByOrdinal)));
    if (!pApi->pfnCheckCommParams || !pApi->pfnInitTextDialog || !pApi->pfnModemAvailable ||
        !pApi->pfnScanForModem) {
        FreeLibrary(pApi->hModule);
        ZeroMemory(pApi, sizeof *pApi);
        pApi->dwLoadError = ERROR_PROC_NOT_FOUND;
        return false;
    }
    return true;
}

inline void UnloadTelvarid(TelvaridApi *pApi)
{
    if (pApi->hModule)
        FreeLibrary(pApi->hModule);
    ZeroMemory(pApi, sizeof *pApi);
}

#endif // TVR_TOOLS_TELVARID_LOADER_H
