// Loading the telephony library from the system folder and from nowhere else. Kept apart
// from the binding so that tvrprobe loads it with the very same code.
#include "telephony/TapiLoader.h"

#include <string.h>

static const char kTapiLibraryName[] = "TAPI32.DLL"; // loaded at run time, never linked
static const char kPathSeparator = '\\';

// The system folder's TAPI32.DLL and no other. A bare name would be looked for in the
// setup program's own folder first, and a setup program is often run from a downloads
// folder where anyone may have left a TAPI32.DLL of their own; it would then run inside
// the installer's elevated process.
//
// LOAD_LIBRARY_SEARCH_SYSTEM32 looks in the system folder alone, for the library and for
// what it imports. A system that predates that flag refuses it with
// ERROR_INVALID_PARAMETER; only then is the same file loaded by its full path, with
// LOAD_WITH_ALTERED_SEARCH_PATH so that its own imports are looked for beside it first.
// Any other failure means that the flag was understood and the system folder holds no
// loadable TAPI32.DLL: the full path would name that same file, and no other place is
// tried.
HMODULE LoadSystemTapiLibrary(void)
{
    HMODULE hLibrary = LoadLibraryExA(kTapiLibraryName, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hLibrary != NULL || GetLastError() != ERROR_INVALID_PARAMETER)
        return hLibrary;

    char achPath[MAX_PATH];
    const UINT cchFolder = GetSystemDirectoryA(achPath, MAX_PATH);
    // 0: no folder; MAX_PATH or more: the size the folder needs, which it did not get.
    if (cchFolder == 0 || cchFolder >= MAX_PATH)
        return NULL;
    // The folder, one separator (unless it already ends in one), the name and a zero.
    const bool bSeparator = achPath[cchFolder - 1] != kPathSeparator;
    if (cchFolder + (bSeparator ? 1 : 0) + sizeof kTapiLibraryName > MAX_PATH)
        return NULL;
    char *pszEnd = achPath + cchFolder;
    if (bSeparator)
        *pszEnd++ = kPathSeparator;
    memcpy(pszEnd, kTapiLibraryName, sizeof kTapiLibraryName);
    return LoadLibraryExA(achPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
