// The answers of the NSIS plug-in TvrModem, from the library's own exports.
#include <windows.h>
#include <string.h>

#include "PluginAnswers.h"
#include "frame/telvarid.h"

// pszResult is one of this file's words, each shorter than the field.
static void SetResult(PluginAnswer *pAnswer, const char *pszResult)
{
    size_t i = 0;
    for (; pszResult[i] != 0 && i + 1 < sizeof pAnswer->szResult; ++i)
        pAnswer->szResult[i] = pszResult[i];
    pAnswer->szResult[i] = 0;
}

// The exports answer small numbers only: 0 to 2.
static void SetNumber(PluginAnswer *pAnswer, int nResult)
{
    if (nResult < 0 || nResult > 9) {
        SetResult(pAnswer, "error");
        pAnswer->bError = TRUE;
        return;
    }
    pAnswer->szResult[0] = static_cast<char>('0' + nResult);
    pAnswer->szResult[1] = 0;
}

static void StartAnswer(PluginAnswer *pAnswer)
{
    memset(pAnswer, 0, sizeof *pAnswer);
}

void AnswerScan(PluginAnswer *pAnswer)
{
    StartAnswer(pAnswer);
    int nPort = 0;
    const int nResult = TVRScanForModem(&nPort);
    if (nResult == 1 && nPort >= 1 && nPort <= 4)
        wsprintfA(pAnswer->szPort, "COM%d", nPort);
    SetNumber(pAnswer, nResult);
}

void AnswerCheckPort(LPCSTR pszPort, LPCSTR pszSpeed, LPCSTR pszCommand, PluginAnswer *pAnswer)
{
    StartAnswer(pAnswer);
    DWORD dwSpeed = 0;
    if (pszPort == NULL || pszCommand == NULL || !ParseSpeed(pszSpeed, &dwSpeed)) {
        SetResult(pAnswer, "error");
        pAnswer->bError = TRUE;
        return;
    }
    // An empty command is the script's way of asking for none: the stack has no
    // optional arguments, only empty ones.
    const BOOL bSendCommand = *pszCommand != 0;
    SetNumber(pAnswer, TVRCheckCommParams(pszPort, dwSpeed, bSendCommand, bSendCommand ? pszCommand : NULL));
}

void AnswerModemAvailable(PluginAnswer *pAnswer)
{
    StartAnswer(pAnswer);
    // The export leaves the buffer as it was where it writes no name: it stays "".
    SetNumber(pAnswer, TVRModemAvailable(pAnswer->szPort));
    pAnswer->szPort[sizeof pAnswer->szPort - 1] = 0;
}

void AnswerFind(HWND hwndOwner, LPCWSTR pszMessage, PluginAnswer *pAnswer)
{
    StartAnswer(pAnswer);
    int nPort = 0;
    const int nResult = TVRFindModem(hwndOwner, pszMessage, &nPort, 0);
    if (nResult == -1) {
        SetResult(pAnswer, "cancel");
        return;
    }
    if (nResult == 1 && nPort >= 1 && nPort <= 4)
        wsprintfA(pAnswer->szPort, "COM%d", nPort);
    SetNumber(pAnswer, nResult);
}
