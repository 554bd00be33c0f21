// Version texts for "tvrprobe --version" and "tvrprobe report": tvrprobe's own version
// (from project() in CMakeLists.txt, through the generated telvarid_version.h) and the
// file version stored in a DLL's version resource.
#ifndef TVR_TOOLS_VERSION_TEXT_H
#define TVR_TOOLS_VERSION_TEXT_H

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "telvarid_version.h"

// "64-bit" or "32-bit": which build of tvrprobe, and so of telvarid.dll, is running.
inline const char *ProbeBitness(void) { return sizeof(void *) == 8 ? "64-bit" : "32-bit"; }

// The FILEVERSION of the file at pszPath as "a.b.c.d" in pszOut; false, with pszOut
// empty, when the file is missing or carries no version resource.
inline bool ReadFileVersionText(const char *pszPath, char *pszOut, size_t cchOut)
{
    pszOut[0] = 0;
    DWORD dwIgnored = 0;
    DWORD cbInfo = GetFileVersionInfoSizeA(pszPath, &dwIgnored);
    if (cbInfo == 0)
        return false;
    void *pInfo = malloc(cbInfo);
    if (!pInfo)
        return false;
    bool bRead = false;
    VS_FIXEDFILEINFO *pFixed = NULL;
    UINT cbFixed = 0;
    if (GetFileVersionInfoA(pszPath, 0, cbInfo, pInfo) &&
        VerQueryValueA(pInfo, "\\", reinterpret_cast<void **>(&pFixed), &cbFixed) && pFixed &&
        cbFixed >= sizeof *pFixed) {
        snprintf(pszOut, cchOut, "%u.%u.%u.%u", (unsigned)HIWORD(pFixed->dwFileVersionMS),
                 (unsigned)LOWORD(pFixed->dwFileVersionMS), (unsigned)HIWORD(pFixed->dwFileVersionLS),
                 (unsigned)LOWORD(pFixed->dwFileVersionLS));
        bRead = true;
    }
    free(pInfo);
    return bRead;
}

// The path of telvarid.dll in the folder of the running program.
inline void TelvaridBesideProgram(char *pszPath, DWORD cchPath)
{
    DWORD cch = GetModuleFileNameA(NULL, pszPath, cchPath);
    if (cch >= cchPath)
        cch = 0;
    while (cch > 0 && pszPath[cch - 1] != '\\' && pszPath[cch - 1] != '/')
        --cch;
    pszPath[cch] = 0;
    snprintf(pszPath + cch, cchPath - cch, "telvarid.dll");
}

#endif // TVR_TOOLS_VERSION_TEXT_H
