// Loading a system DLL at run time from the system folder only.
#ifndef TVR_FRAME_SYSTEMLIBRARY_H
#define TVR_FRAME_SYSTEMLIBRARY_H

#include <windows.h>

// Loads pszName (a bare file name such as "TAPI32.DLL") from the system folder and from
// nowhere else; null when it does not load from there. The caller frees what it gets.
HMODULE LoadSystemLibrary(const char *pszName);

#endif // TVR_FRAME_SYSTEMLIBRARY_H
