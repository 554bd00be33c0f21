// The few Windows Installer types, constants and function prototypes that the custom
// actions use. msi.dll is loaded at run time, only while an action runs, so nothing here
// is linked.
//
// The 8-bit (A) functions are the ones bound: every value the actions read or write is
// a port name, a number or a modem command, which the library's exports take as 8-bit
// text in any case, so the installer's own conversion to the ANSI code page is the only
// one needed, and the DLL carries no conversion code and imports nothing more for it.
#ifndef TVR_MSI_MSIDEFS_H
#define TVR_MSI_MSIDEFS_H

#include <windows.h>

// An installer handle is an unsigned long in the platform's headers: 32 bits on x86 and
// on x86-64 alike, which is what a DWORD is too.
typedef DWORD MSIHANDLE;
static_assert(sizeof(MSIHANDLE) == 4, "installer handles are 32-bit values on every build");

#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234 // the value did not fit; the count says how long it is
#endif
#ifndef ERROR_INSTALL_FAILURE
#define ERROR_INSTALL_FAILURE 1603 // what an action returns when it cannot do its work
#endif
// A message for the installer's log, never shown.
static const DWORD kInstallMessageInfo = 0x04000000; // INSTALLMESSAGE_INFO

// The functions, with their published prototypes (all WINAPI).
typedef UINT(WINAPI *PFN_MSIGETPROPERTYA)(MSIHANDLE hInstall, LPCSTR szName, LPSTR szValueBuf,
                                          DWORD *pcchValueBuf);
typedef UINT(WINAPI *PFN_MSISETPROPERTYA)(MSIHANDLE hInstall, LPCSTR szName, LPCSTR szValue);
typedef MSIHANDLE(WINAPI *PFN_MSICREATERECORD)(UINT cParams);
typedef UINT(WINAPI *PFN_MSIRECORDSETSTRINGA)(MSIHANDLE hRecord, UINT iField, LPCSTR szValue);
typedef int(WINAPI *PFN_MSIPROCESSMESSAGE)(MSIHANDLE hInstall, DWORD eMessageType, MSIHANDLE hRecord);
typedef UINT(WINAPI *PFN_MSICLOSEHANDLE)(MSIHANDLE hAny);

#endif // TVR_MSI_MSIDEFS_H
