/* The few Windows types that telvarid.h uses, as the Windows SDK defines them, so that a
 * compiler in Microsoft's mode (clang --target=*-pc-windows-msvc) can read telvarid.h
 * on a machine without the SDK. Only for the archive's link check. */
#ifndef TVR_MSVC_STUB_WINDOWS_H
#define TVR_MSVC_STUB_WINDOWS_H
typedef unsigned long DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef long LONG;
typedef const char *LPCSTR;
typedef unsigned short WCHAR; /* wchar_t in the SDK: 16 bits there */
typedef const WCHAR *LPCWSTR;
typedef struct HWND__ *HWND;
#endif
