// The modem speed check: for each data modem in table order, its port name goes into the
// caller's buffer and its configured speed is read; the first modem set up for 9600
// bit/s or more ends the walk.
//
//   TVRModemAvailable: BindTelephony -> BuildModemTable -> for each entry:
//       QueryModemPortName: lineOpen -> lineGetID "comm/datamodem" -> lineClose -> copy name
//       QueryModemSpeed:    lineGetDevConfig "comm/datamodem" -> DCB BaudRate >= 9600 ? 2
//     -> free table -> UnbindTelephony -> 1
#ifndef TVR_TELEPHONY_MODEMQUERY_H
#define TVR_TELEPHONY_MODEMQUERY_H

#include <windows.h>

#include "telephony/ModemTable.h"
#include "telephony/TelephonyBinding.h"

// Writes the entry's port name (at most 75 characters and a zero) into lpszPortName
// when the line opens and the service returns a name; otherwise writes nothing. The
// name is read after a port handle as wide as this build's HANDLE.
void QueryModemPortName(TelephonySession *pSession, const ModemEntry *pEntry, char *lpszPortName);
// The same query for an identifier whose leading port handle is cbPortHandle bytes
// wide; QueryModemPortName passes sizeof(HANDLE).
void QueryModemPortNameEx(TelephonySession *pSession, const ModemEntry *pEntry, char *lpszPortName,
                          DWORD cbPortHandle);
// The entry's configured speed in bit/s, or 0 when it cannot be read.
DWORD QueryModemSpeed(TelephonySession *pSession, const ModemEntry *pEntry);
// A new 136-byte device-configuration block, preset; null when the heap is out.
BYTE *AllocDevConfigBuffer(void);

extern "C" int __cdecl TVRModemAvailable(char *lpszPortName);

#endif // TVR_TELEPHONY_MODEMQUERY_H
