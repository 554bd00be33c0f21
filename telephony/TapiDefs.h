// The few Telephony API 1.x types, constants and line-function prototypes that the
// modem query uses. TAPI32.DLL is loaded at run time, so nothing here is linked; the
// structures the service fills (LINEDEVCAPS, VARSTRING) are read by byte offset through
// TapiLayout.h, so they are only named here, never laid out.
#ifndef TVR_TELEPHONY_TAPIDEFS_H
#define TVR_TELEPHONY_TAPIDEFS_H

#include <windows.h>

// Handles of the line abstraction are 32-bit values, not pointers, on x86-64 as on x86;
// so is the device handle that the line callback receives.
typedef DWORD HLINEAPP;
typedef DWORD HLINE;
typedef DWORD HCALL;
typedef HLINEAPP *LPHLINEAPP;
typedef HLINE *LPHLINE;
static_assert(sizeof(HLINEAPP) == 4 && sizeof(HLINE) == 4 && sizeof(HCALL) == 4,
              "line handles are 32-bit values on every build");
// Results are 32-bit signed and device IDs, versions and sizes 32-bit unsigned on every
// build; only the callback instance and the message parameters are pointer-sized.
static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4, "LONG and DWORD are 32 bits wide");
static_assert(sizeof(DWORD_PTR) == sizeof(void *), "DWORD_PTR holds a pointer");

// Extension identifier that lineNegotiateAPIVersion fills; not used further.
typedef struct linextensionid_tag {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
} LINEEXTENSIONID, *LPLINEEXTENSIONID;
static_assert(sizeof(LINEEXTENSIONID) == 16, "LINEEXTENSIONID is four DWORDs on every build");

// Variable-size structures of the service, passed as blocks the library allocates.
struct linedevcaps_tag;
struct varstring_tag;
struct linecallparams_tag;
typedef struct linedevcaps_tag *LPLINEDEVCAPS;
typedef struct varstring_tag *LPVARSTRING;
typedef struct linecallparams_tag *LPLINECALLPARAMS;

typedef void(CALLBACK *LINECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                                     DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// The line functions, with their published prototypes (all WINAPI, 32-bit results).
// WINAPI is stdcall on x86; x86-64 has one calling convention and ignores it.
typedef LONG(WINAPI *PFN_LINECLOSE)(HLINE hLine);
typedef LONG(WINAPI *PFN_LINEGETDEVCAPS)(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                         DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps);
typedef LONG(WINAPI *PFN_LINEGETDEVCONFIG)(DWORD dwDeviceID, LPVARSTRING lpDeviceConfig,
                                           LPCSTR lpszDeviceClass);
typedef LONG(WINAPI *PFN_LINEGETID)(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect,
                                    LPVARSTRING lpDeviceID, LPCSTR lpszDeviceClass);
typedef LONG(WINAPI *PFN_LINEINITIALIZE)(LPHLINEAPP lphLineApp, HINSTANCE hInstance,
                                         LINECALLBACK lpfnCallback, LPCSTR lpszAppName,
                                         LPDWORD lpdwNumDevs);
typedef LONG(WINAPI *PFN_LINENEGOTIATEAPIVERSION)(HLINEAPP hLineApp, DWORD dwDeviceID,
                                                  DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                                                  LPDWORD lpdwAPIVersion,
                                                  LPLINEEXTENSIONID lpExtensionID);
typedef LONG(WINAPI *PFN_LINEOPEN)(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine,
                                   DWORD dwAPIVersion, DWORD dwExtVersion, DWORD_PTR dwCallbackInstance,
                                   DWORD dwPrivileges, DWORD dwMediaModes,
                                   LPLINECALLPARAMS lpCallParams);
typedef LONG(WINAPI *PFN_LINESHUTDOWN)(HLINEAPP hLineApp);

// Result codes: every negative result is a failure.
#define LINEERR_INCOMPATIBLEAPIVERSION ((LONG)0x8000000C) // device does not offer the version asked for
#define LINEERR_NODEVICE ((LONG)0x80000042)               // recorded when no data modem is listed

// Modes, privileges and selections used by the query.
#define LINEBEARERMODE_VOICE 0x00000001u     // a line that carries voice-band calls
#define LINEMEDIAMODE_DATAMODEM 0x00000010u  // a line that a data modem serves
#define LINECALLPRIVILEGE_NONE 0x00000001u   // open the line without owning or monitoring calls
#define LINECALLSELECT_LINE 0x00000001u      // lineGetID about the line, not an address or call
#define STRINGFORMAT_BINARY 0x00000004u      // VARSTRING holding binary data

// The one API version the library speaks: 1.3.
#define TVR_TAPI_VERSION 0x00010003u

#endif // TVR_TELEPHONY_TAPIDEFS_H
