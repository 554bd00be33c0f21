// Reading the check's inputs and writing each action's log line, with no platform calls.
#include "msi/ActionText.h"

#include <string.h>

#include "serial/CommParams.h"

static const char kLinePrefix[] = "telvarid: "; // finds the actions' lines in a long log
static const char kCutMark[] = "...";           // ends a line that did not fit
static const size_t kMaxSpeedDigits = 10;       // 4294967295, the largest DWORD

void StartLine(TextLine *pLine, char *pszBuffer, size_t cchBuffer)
{
    pLine->pszText = pszBuffer;
    pLine->cchSize = cchBuffer;
    pLine->cchUsed = 0;
    pLine->bCut = false;
    pszBuffer[0] = '\0';
}

void AppendText(TextLine *pLine, const char *pszText)
{
    if (pLine->bCut)
        return;
    // Room for the text, or else for the mark, with the zero after either.
    const size_t cchRoom = pLine->cchSize - 1 - pLine->cchUsed;
    const size_t cchText = strlen(pszText);
    if (cchText <= cchRoom) {
        memcpy(pLine->pszText + pLine->cchUsed, pszText, cchText + 1);
        pLine->cchUsed += cchText;
        return;
    }
    // The mark replaces the line's last characters where the text itself has no room.
    const size_t cchMark = sizeof kCutMark - 1;
    const size_t cchKeep = pLine->cchSize - 1 - cchMark;
    size_t cchFrom = pLine->cchUsed;
    if (cchFrom < cchKeep) {
        memcpy(pLine->pszText + cchFrom, pszText, cchKeep - cchFrom);
        cchFrom = cchKeep;
    }
    memcpy(pLine->pszText + cchKeep, kCutMark, sizeof kCutMark);
    pLine->cchUsed = cchKeep + cchMark;
    pLine->bCut = true;
}

void AppendNumber(TextLine *pLine, DWORD dwValue)
{
    char achDigits[kNumberChars];
    char *psz = achDigits + sizeof achDigits - 1;
    *psz = '\0';
    do {
        *--psz = static_cast<char>('0' + dwValue % 10);
        dwValue /= 10;
    } while (dwValue != 0);
    AppendText(pLine, psz);
}

bool ParseSpeed(const char *pszText, DWORD *pdwBaud)
{
    size_t cDigits = 0;
    unsigned long long qwValue = 0; // ten digits fit: at most 9999999999
    for (const char *psz = pszText; *psz != '\0'; ++psz) {
        if (*psz < '0' || *psz > '9' || cDigits == kMaxSpeedDigits)
            return false;
        qwValue = qwValue * 10 + static_cast<unsigned>(*psz - '0');
        ++cDigits;
    }
    // No digits, 0 bit/s, or more than a DWORD holds: not a speed.
    if (cDigits == 0 || qwValue == 0 || qwValue > 0xFFFFFFFFull)
        return false;
    *pdwBaud = static_cast<DWORD>(qwValue);
    return true;
}

void PortNameOf(int nPort, char *pszName, size_t cchName)
{
    TextLine line;
    StartLine(&line, pszName, cchName);
    if (nPort >= 1 && nPort <= 4) {
        AppendText(&line, "COM");
        AppendNumber(&line, static_cast<DWORD>(nPort));
    }
}

CheckInput JudgeCheckInput(const CheckRequest *pRequest, DWORD *pdwBaud)
{
    if (pRequest->portState == PROPERTY_UNREADABLE)
        return CHECK_INPUT_UNREADABLE;
    if (pRequest->portState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_PORT;
    if (pRequest->portState == PROPERTY_TOO_LONG)
        return CHECK_INPUT_PORT_TOO_LONG;
    if (pRequest->speedState == PROPERTY_UNREADABLE)
        return CHECK_INPUT_UNREADABLE;
    if (pRequest->speedState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_SPEED;
    if (pRequest->speedState == PROPERTY_TOO_LONG || !ParseSpeed(pRequest->pszSpeed, pdwBaud))
        return CHECK_INPUT_BAD_SPEED;
    if (pRequest->commandState == PROPERTY_UNREADABLE)
        return CHECK_INPUT_UNREADABLE;
    // A command longer than the check sends is refused here as the check would refuse
    // it, so the log can say why.
    if (pRequest->commandState == PROPERTY_TOO_LONG || strlen(pRequest->pszCommand) > TVR_MAX_COMMAND_CHARS)
        return CHECK_INPUT_COMMAND_TOO_LONG;
    return CHECK_INPUT_OK;
}

// "; NAME=value", or "; NAME unset" for an empty value (the installer removes a property
// set to nothing), after the words of the line.
static void AppendProperty(TextLine *pLine, const char *pszSeparator, const char *pszName, const char *pszValue)
{
    AppendText(pLine, pszSeparator);
    AppendText(pLine, pszName);
    if (*pszValue == '\0') {
        AppendText(pLine, " unset");
        return;
    }
    AppendText(pLine, "=");
    AppendText(pLine, pszValue);
}

static void AppendResult(TextLine *pLine, const char *pszName, int nResult)
{
    AppendText(pLine, "; ");
    AppendText(pLine, pszName);
    AppendText(pLine, "=");
    AppendNumber(pLine, static_cast<DWORD>(nResult));
}

void FormatFindLine(char *pszLine, size_t cchLine, int nResult, const char *pszPort)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    AppendText(&line, "looked for a modem on COM1 to COM4: ");
    if (nResult == 1 && *pszPort != '\0') {
        AppendText(&line, "one answers on ");
        AppendText(&line, pszPort);
    } else if (nResult == 1) {
        AppendText(&line, "one answers");
    } else if (nResult == -1) {
        AppendText(&line, "the search could not run");
    } else {
        AppendText(&line, "none answers");
    }
    AppendText(&line, "; " TVR_PROPERTY_FIND_RESULT "=");
    AppendText(&line, nResult == -1 ? "-1" : nResult == 1 ? "1" : "0");
    AppendProperty(&line, ", ", TVR_PROPERTY_FIND_PORT, pszPort);
}

// What stopped a check before it ran, as a reader of the log needs it.
static void AppendRefusal(TextLine *pLine, const CheckRequest *pRequest, CheckInput input)
{
    switch (input) {
    case CHECK_INPUT_NO_PORT:
        AppendText(pLine, TVR_PROPERTY_CHECK_PORT " is not set");
        break;
    case CHECK_INPUT_PORT_TOO_LONG:
        AppendText(pLine, TVR_PROPERTY_CHECK_PORT " is longer than 255 characters");
        break;
    case CHECK_INPUT_NO_SPEED:
        AppendText(pLine, TVR_PROPERTY_CHECK_SPEED " is not set");
        break;
    case CHECK_INPUT_BAD_SPEED:
        if (pRequest->speedState == PROPERTY_TOO_LONG) {
            AppendText(pLine, TVR_PROPERTY_CHECK_SPEED " is too long to be a speed in bit/s");
        } else {
            AppendText(pLine, TVR_PROPERTY_CHECK_SPEED " \"");
            AppendText(pLine, pRequest->pszSpeed);
            AppendText(pLine, "\" is not a speed in bit/s (1 to 4294967295, digits only)");
        }
        break;
    case CHECK_INPUT_COMMAND_TOO_LONG:
        AppendText(pLine, TVR_PROPERTY_CHECK_COMMAND " is longer than 254 characters");
        break;
    default:
        AppendText(pLine, "the installer did not give its properties");
        break;
    }
}

void FormatCheckLine(char *pszLine, size_t cchLine, const CheckRequest *pRequest, CheckInput input, DWORD dwBaud,
                     int nResult)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    if (input != CHECK_INPUT_OK) {
        if (pRequest->portState == PROPERTY_SET) {
            AppendText(&line, pRequest->pszPort);
            AppendText(&line, " not checked: ");
        } else {
            AppendText(&line, "no port checked: ");
        }
        AppendRefusal(&line, pRequest, input);
        AppendResult(&line, TVR_PROPERTY_CHECK_RESULT, nResult);
        return;
    }
    const bool bCommand = pRequest->commandState == PROPERTY_SET;
    AppendText(&line, "checked ");
    AppendText(&line, pRequest->pszPort);
    AppendText(&line, " at ");
    AppendNumber(&line, dwBaud);
    if (bCommand) {
        AppendText(&line, " bit/s with the command \"");
        AppendText(&line, pRequest->pszCommand);
        AppendText(&line, "\": ");
    } else {
        AppendText(&line, " bit/s without a command: ");
    }
    if (nResult == 1)
        AppendText(&line, bCommand ? "it answers (or another program holds the port)"
                                   : "the port takes the speed (or another program holds it)");
    else
        AppendText(&line, bCommand ? "no such port, the speed refused, or no answer"
                                   : "no such port, or the speed refused");
    AppendResult(&line, TVR_PROPERTY_CHECK_RESULT, nResult);
}

void FormatTelephonyLine(char *pszLine, size_t cchLine, int nResult, const char *pszPort)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    AppendText(&line, "asked the telephony service for a data modem: ");
    if (nResult == 2)
        AppendText(&line, "one is set up for 9600 bit/s or more");
    else if (nResult == 1)
        AppendText(&line, "data modems are listed, none set up for 9600 bit/s or more");
    else
        AppendText(&line, "telephony can't be used here, or it lists no data modem");
    AppendResult(&line, TVR_PROPERTY_TELEPHONY_RESULT, nResult);
    AppendProperty(&line, ", ", TVR_PROPERTY_TELEPHONY_PORT, pszPort);
}
