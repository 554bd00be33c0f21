// TVRModemAvailable and the two per-modem queries it runs.
#include "telephony/ModemQuery.h"

#include <stdlib.h>

#include "frame/Owned.h"
#include "telephony/TapiLayout.h"

static const char kDataModemClass[] = "comm/datamodem"; // device class of a modem's port
static const DWORD kFastEnoughBaud = 9600; // the lowest configured speed that answers 2
static const int kNoModem = 0;             // no telephony, or no data modem listed
static const int kSlowModem = 1;           // data modems listed, none set up that fast
static const int kFastModem = 2;           // a data modem set up for 9600 bit/s or more
// The port handle that leads the "comm/datamodem" identifier is a HANDLE: 4 bytes on
// x86, 8 on x86-64, and the port name follows it.
static const DWORD kPortHandleSize = sizeof(HANDLE);

void QueryModemPortName(TelephonySession *pSession, const ModemEntry *pEntry, char *lpszPortName)
{
    QueryModemPortNameEx(pSession, pEntry, lpszPortName, kPortHandleSize);
}

void QueryModemPortNameEx(TelephonySession *pSession, const ModemEntry *pEntry, char *lpszPortName,
                          DWORD cbPortHandle)
{
    OwnedHeapBlock block(malloc(PORTID_BLOCKSIZE));
    if (!block.IsValid())
        return;
    BYTE *pBlock = static_cast<BYTE *>(block.Get());
    PresetPortIdentifierBlock(pBlock);

    HLINE hLine = 0;
    pSession->lTAPIErrorCode = g_lpfnLineOpen(pSession->hLineApp, pEntry->dwDeviceID, &hLine, TVR_TAPI_VERSION,
                                              0, 0, LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, NULL);
    if (pSession->lTAPIErrorCode < 0)
        return;
    pSession->lTAPIErrorCode = g_lpfnLineGetID(hLine, pEntry->dwDeviceID, 0, LINECALLSELECT_LINE,
                                               reinterpret_cast<LPVARSTRING>(pBlock), kDataModemClass);
    g_lpfnLineClose(hLine);
    if (pSession->lTAPIErrorCode < 0)
        return;
    // The port handle that leads the identifier is left alone: asked about the line
    // (not a call) the service returns no open port, so there is nothing of ours to
    // close, and closing whatever value stands there could close a handle the setup
    // program owns.
    CopyPortName(pBlock, PORTID_BLOCKSIZE, cbPortHandle, lpszPortName);
}

BYTE *AllocDevConfigBuffer(void)
{
    BYTE *pBlock = static_cast<BYTE *>(malloc(DEVCFG_BLOCKSIZE));
    if (pBlock)
        PresetDevConfigBlock(pBlock);
    return pBlock;
}

DWORD QueryModemSpeed(TelephonySession *pSession, const ModemEntry *pEntry)
{
    OwnedHeapBlock block(AllocDevConfigBuffer());
    if (!block.IsValid())
        return 0;
    BYTE *pBlock = static_cast<BYTE *>(block.Get());
    pSession->lTAPIErrorCode = g_lpfnLineGetDevConfig(pEntry->dwDeviceID, reinterpret_cast<LPVARSTRING>(pBlock),
                                                      kDataModemClass);
    if (pSession->lTAPIErrorCode < 0)
        return 0;
    return ReadConfiguredSpeed(pBlock, DEVCFG_BLOCKSIZE);
}

extern "C" int __cdecl TVRModemAvailable(char *lpszPortName)
{
    // Zeroed, so that nothing a service leaves unwritten is read as a value.
    TelephonySession session = {};
    if (!BindTelephony(&session))
        return kNoModem;
    ModemTable *pTable = BuildModemTable(&session);
    if (!pTable) {
        UnbindTelephony(&session);
        return kNoModem;
    }
    int nResult = kSlowModem;
    for (DWORD i = 0; i < pTable->dwCount; ++i) {
        const ModemEntry *pEntry = ModemTableEntry(pTable, i);
        // No buffer (a caller that wants only the answer): the answer is the same, as
        // it rests on the speeds alone, and the port-name query, whose only product is
        // the name, is not made. No line is opened for it.
        if (lpszPortName != NULL)
            QueryModemPortName(&session, pEntry, lpszPortName);
        if (QueryModemSpeed(&session, pEntry) >= kFastEnoughBaud) {
            nResult = kFastModem;
            break;
        }
    }
    free(pTable);
    UnbindTelephony(&session);
    return nResult;
}
