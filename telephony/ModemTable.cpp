// Enumerating the line devices into the data modem table. Exactly two heap blocks are
// made, whatever the number of devices: the table, sized for every device at once, and
// one capabilities buffer that serves each device in turn.
#include "telephony/ModemTable.h"

#include <stdlib.h>

#include "telephony/TapiLayout.h"

ModemTable *BuildModemTable(TelephonySession *pSession)
{
    DWORD cbTable = 0;
    if (!ModemTableSize(pSession->dwLineCount, &cbTable))
        return NULL;
    ModemTable *pTable = static_cast<ModemTable *>(malloc(cbTable));
    if (!pTable)
        return NULL;
    BYTE *pCaps = static_cast<BYTE *>(malloc(DEVCAPS_BUFFERSIZE));
    if (!pCaps) {
        free(pTable);
        return NULL;
    }
    PresetDevCapsBuffer(pCaps);
    pTable->dwCount = 0;

    BOOL bFailed = FALSE;
    for (DWORD dwDeviceID = 0; dwDeviceID < pSession->dwLineCount; ++dwDeviceID) {
        // Only 1.3 is offered, so a service that succeeds without writing the agreed
        // version has agreed to it.
        DWORD dwAPIVersion = TVR_TAPI_VERSION;
        LINEEXTENSIONID extensionID = {0, 0, 0, 0};
        pSession->lTAPIErrorCode = g_lpfnLineNegotiateAPIVersion(
            pSession->hLineApp, dwDeviceID, TVR_TAPI_VERSION, TVR_TAPI_VERSION, &dwAPIVersion, &extensionID);
        if (pSession->lTAPIErrorCode == LINEERR_INCOMPATIBLEAPIVERSION)
            continue;
        if (pSession->lTAPIErrorCode < 0) {
            bFailed = TRUE;
            break;
        }

        pSession->lTAPIErrorCode = g_lpfnLineGetDevCaps(pSession->hLineApp, dwDeviceID, dwAPIVersion, 0,
                                                        reinterpret_cast<LPLINEDEVCAPS>(pCaps));
        if (pSession->lTAPIErrorCode < 0) {
            bFailed = TRUE;
            break;
        }

        DWORD dwBearerModes = ReadBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_BEARERMODES);
        DWORD dwMediaModes = ReadBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_MEDIAMODES);
        if (!(dwBearerModes & LINEBEARERMODE_VOICE) || !(dwMediaModes & LINEMEDIAMODE_DATAMODEM))
            continue;

        ModemEntry *pEntry = ModemTableEntry(pTable, pTable->dwCount);
        pEntry->dwDeviceID = dwDeviceID;
        pEntry->dwPermanentLineID = ReadBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_PERMANENTLINEID);
        pEntry->dwAPIVersion = dwAPIVersion;
        CopyLineName(pCaps, DEVCAPS_BUFFERSIZE, pEntry->szLineName);
        ++pTable->dwCount;
    }
    free(pCaps);

    if (!bFailed && pTable->dwCount == 0) {
        pSession->lTAPIErrorCode = LINEERR_NODEVICE;
        bFailed = TRUE;
    }
    if (bFailed) {
        free(pTable);
        return NULL;
    }
    return pTable;
}
