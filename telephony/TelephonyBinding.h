// The binding to the telephony library: "TAPI32.DLL" is loaded for the length of one
// modem query, its line functions are looked up into the module-wide entry points, and
// the library registers with the service to learn how many line devices there are.
//
//   BindTelephony:   TAPI32.DLL from the system folder only: LoadLibraryExA with
//                    LOAD_LIBRARY_SEARCH_SYSTEM32, or (flag unknown) by its full path
//                    -> GetProcAddress x7 (+ lineShutdown, optional)
//                    -> lineInitialize("TELVARAP") -> at least one line device?
//   UnbindTelephony: lineShutdown (when registered) -> FreeLibrary -> entry points null
#ifndef TVR_TELEPHONY_TELEPHONYBINDING_H
#define TVR_TELEPHONY_TELEPHONYBINDING_H

#include <windows.h>

#include "telephony/TapiDefs.h"

// One binding, owned by the caller of BindTelephony.
struct TelephonySession {
    HMODULE hTAPILibrary;   // the loaded telephony library; null when none is loaded
    HLINEAPP hLineApp;      // line-application handle from lineInitialize
    DWORD dwLineCount;      // line devices reported by lineInitialize: IDs 0 to count - 1
    LONG lTAPIErrorCode;    // result of the most recent recorded telephony call
    LINECALLBACK lpfnCallback; // the callback given to lineInitialize
    BOOL bRegistered;       // lineInitialize succeeded: lineShutdown is owed
};

// The module-wide entry points: null unless a modem query holds a binding.
extern PFN_LINECLOSE g_lpfnLineClose;
extern PFN_LINEGETDEVCAPS g_lpfnLineGetDevCaps;
extern PFN_LINEGETDEVCONFIG g_lpfnLineGetDevConfig;
extern PFN_LINEGETID g_lpfnLineGetID;
extern PFN_LINEINITIALIZE g_lpfnLineInitialize;
extern PFN_LINENEGOTIATEAPIVERSION g_lpfnLineNegotiateAPIVersion;
extern PFN_LINEOPEN g_lpfnLineOpen;
// Optional: a telephony library without it still binds.
extern PFN_LINESHUTDOWN g_lpfnLineShutdown;

// Returns 1 when the library is loaded, the seven line functions are bound, the
// registration succeeded and at least one line device is reported; otherwise 0 with
// nothing loaded or bound. On 1 the caller calls UnbindTelephony exactly once.
int BindTelephony(TelephonySession *pSession);
// Ends the registration if one was made, releases the library if one is loaded, and
// clears every entry point.
void UnbindTelephony(TelephonySession *pSession);
// The line callback registered with the service: the query waits for no event.
void CALLBACK LineEventCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                                DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

#endif // TVR_TELEPHONY_TELEPHONYBINDING_H
