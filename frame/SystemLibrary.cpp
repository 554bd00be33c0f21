// Loading a system DLL from the system folder and from nowhere else: the telephony
// library for the modem query, the installer's library for the custom actions, and
// tvrprobe's own telephony report all come through here.
#include "frame/SystemLibrary.h"

static const char kPathSeparator = '\\';

// The system folder's copy and no other. A bare name would be looked for in the setup
// program's own folder first, and a setup program is often run from a downloads folder
// where anyone may have left a DLL of that name; it would then run inside the
// installer's elevated process.
//
// LOAD_LIBRARY_SEARCH_SYSTEM32 looks in the system folder alone, for the library and for
// what it imports. A system that predates that flag refuses it with
// ERROR_INVALID_PARAMETER; only then is the same file loaded by its full path, with
// LOAD_WITH_ALTERED_SEARCH_PATH so that its own imports are looked for beside it first.
// Any other failure means that the flag was understood and the system folder holds no
// loadable copy: the full path would name that same file, and no other place is tried.
HMODULE LoadSystemLibrary(const char *pszName)
{
    HMODULE hLibrary = LoadLibraryExA(pszName, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hLibrary != NULL || GetLastError() != ERROR_INVALID_PARAMETER)
        return hLibrary;

    char achPath[MAX_PATH];
    const UINT cchFolder = GetSystemDirectoryA(achPath, MAX_PATH);
    // 0: no folder; MAX_PATH or more: the size the folder needs, which it did not get.
    if (cchFolder == 0 || cchFolder >= MAX_PATH)
        return NULL;
    // The folder, one separator (unless it already ends in one), the name and its zero,
    // all within MAX_PATH; a name that does not fit loads nothing.
    char *pszEnd = achPath + cchFolder;
    if (achPath[cchFolder - 1] != kPathSeparator)
        *pszEnd++ = kPathSeparator;
    const char *pszLimit = achPath + MAX_PATH;
    for (const char *psz = pszName;; ++psz) {
        if (pszEnd == pszLimit)
            return NULL;
        *pszEnd++ = *psz;
        if (*psz == '\0')
            break;
    }
    return LoadLibraryExA(achPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
