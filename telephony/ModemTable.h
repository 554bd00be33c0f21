// The data modem table: one entry per line device that offers API version 1.3 and
// lists both the voice bearer mode and the data-modem media mode, in device-ID order.
#ifndef TVR_TELEPHONY_MODEMTABLE_H
#define TVR_TELEPHONY_MODEMTABLE_H

#include <windows.h>
#include <stddef.h>

#include "telephony/TelephonyBinding.h"

// One data modem, 268 bytes.
struct ModemEntry {
    DWORD dwDeviceID;        // line device ID
    DWORD dwPermanentLineID; // from LINEDEVCAPS
    DWORD dwAPIVersion;      // the version agreed with lineNegotiateAPIVersion
    char szLineName[256];    // at most 255 characters, zero-terminated
};

// The table's 4-byte header; dwCount entries follow it back to back in the same heap
// block, which is sized for one entry per line device.
struct ModemTable {
    DWORD dwCount;
};

static_assert(sizeof(ModemEntry) == 268, "ModemEntry is 268 bytes");
static_assert(offsetof(ModemEntry, dwPermanentLineID) == 4, "dwPermanentLineID at 4");
static_assert(offsetof(ModemEntry, dwAPIVersion) == 8, "dwAPIVersion at 8");
static_assert(offsetof(ModemEntry, szLineName) == 12, "szLineName at 12");
static_assert(sizeof(ModemTable) == 4, "the table header is the 4-byte count");

// Entry dwIndex of the table (the entries start right after the header).
inline ModemEntry *ModemTableEntry(ModemTable *pTable, DWORD dwIndex)
{
    return reinterpret_cast<ModemEntry *>(reinterpret_cast<BYTE *>(pTable) + sizeof(ModemTable) +
                                          (size_t)dwIndex * sizeof(ModemEntry));
}

// Builds the table for a bound session. Returns a heap block (release it with free)
// holding at least one entry, or null; records the telephony results in lTAPIErrorCode.
ModemTable *BuildModemTable(TelephonySession *pSession);

#endif // TVR_TELEPHONY_MODEMTABLE_H
