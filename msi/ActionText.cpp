// Reading the check's inputs and writing each action's log line, with no platform calls.
#include "msi/ActionText.h"

#include "serial/CommParams.h"
#include "serial/CommandText.h"

static const char kLinePrefix[] = "telvarid: "; // finds the actions' lines in a long log

// Why a check did not run, by CheckInput (CHECK_INPUT_OK has no reason).
static const char *const kRefusals[] = {
    "",
    TVR_PROPERTY_CHECK_PORT " is not set",
    TVR_PROPERTY_CHECK_PORT " is longer than 255 characters",
    TVR_PROPERTY_CHECK_SPEED " is not set",
    TVR_PROPERTY_CHECK_SPEED " is not a speed in bit/s",
    TVR_PROPERTY_CHECK_COMMAND " is longer than 254 characters",
    "a property could not be read",
};
static_assert(sizeof kRefusals / sizeof kRefusals[0] == CHECK_INPUT_UNREADABLE + 1, "one reason per refusal");

void StartLine(TextLine *pLine, char *pszBuffer, size_t cchBuffer)
{
    pLine->pszText = pszBuffer;
    pLine->cchSize = cchBuffer;
    pLine->cchUsed = 0;
    pszBuffer[0] = '\0';
}

void AppendText(TextLine *pLine, const char *pszText)
{
    char *pszEnd = pLine->pszText + pLine->cchUsed;
    while (*pszText != '\0' && pLine->cchUsed + 1 < pLine->cchSize) {
        *pszEnd++ = *pszText++;
        ++pLine->cchUsed;
    }
    *pszEnd = '\0';
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
    if (pRequest->portState == PROPERTY_UNREADABLE || pRequest->speedState == PROPERTY_UNREADABLE ||
        pRequest->commandState == PROPERTY_UNREADABLE)
        return CHECK_INPUT_UNREADABLE;
    if (pRequest->portState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_PORT;
    if (pRequest->portState == PROPERTY_TOO_LONG)
        return CHECK_INPUT_PORT_TOO_LONG;
    if (pRequest->speedState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_SPEED;
    if (pRequest->speedState == PROPERTY_TOO_LONG || !ParseSpeed(pRequest->pszSpeed, pdwBaud))
        return CHECK_INPUT_BAD_SPEED;
    // A command longer than the check sends is refused here as the check would refuse
    // it, so the log can say why.
    if (pRequest->commandState == PROPERTY_TOO_LONG ||
        BoundedTextLength(pRequest->pszCommand, TVR_MAX_COMMAND_CHARS) > TVR_MAX_COMMAND_CHARS)
        return CHECK_INPUT_COMMAND_TOO_LONG;
    return CHECK_INPUT_OK;
}

// "; NAME=n" for an answer.
static void AppendResult(TextLine *pLine, const char *pszName, const char *pszResult)
{
    AppendText(pLine, "; ");
    AppendText(pLine, pszName);
    AppendText(pLine, "=");
    AppendText(pLine, pszResult);
}

// " NAME=value", or " NAME unset" for an empty value (the installer removes a property
// set to nothing).
static void AppendPort(TextLine *pLine, const char *pszName, const char *pszPort)
{
    AppendText(pLine, " ");
    AppendText(pLine, pszName);
    AppendText(pLine, *pszPort == '\0' ? " unset" : "=");
    AppendText(pLine, pszPort);
}

void FormatFindLine(char *pszLine, size_t cchLine, int nResult, const char *pszPort)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    AppendText(&line, "COM1-COM4 searched: ");
    const char *pszResult = "0";
    if (nResult == 1) {
        AppendText(&line, "a modem answers");
        if (*pszPort != '\0')
            AppendText(&line, " on ");
        AppendText(&line, pszPort);
        pszResult = "1";
    } else if (nResult == -1) {
        AppendText(&line, "the search could not run");
        pszResult = "-1";
    } else {
        AppendText(&line, "no modem answers");
    }
    AppendResult(&line, TVR_PROPERTY_FIND_RESULT, pszResult);
    AppendPort(&line, TVR_PROPERTY_FIND_PORT, pszPort);
}

void FormatCheckLine(char *pszLine, size_t cchLine, const CheckRequest *pRequest, CheckInput input, DWORD dwBaud,
                     int nResult)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    if (input != CHECK_INPUT_OK) {
        AppendText(&line, "not checked: ");
        AppendText(&line, kRefusals[input]);
        // A speed that is no number is shown, so that the package's mistake can be seen.
        if (input == CHECK_INPUT_BAD_SPEED && pRequest->speedState == PROPERTY_SET) {
            AppendText(&line, ": \"");
            AppendText(&line, pRequest->pszSpeed);
            AppendText(&line, "\"");
        }
    } else {
        AppendText(&line, pRequest->pszPort);
        AppendText(&line, " checked at ");
        AppendNumber(&line, dwBaud);
        if (pRequest->commandState == PROPERTY_SET) {
            AppendText(&line, " bit/s with \"");
            AppendText(&line, pRequest->pszCommand);
            AppendText(&line, "\": ");
        } else {
            AppendText(&line, " bit/s without a command: ");
        }
        AppendText(&line, nResult == 1 ? "passed" : "failed");
    }
    AppendResult(&line, TVR_PROPERTY_CHECK_RESULT, nResult == 1 ? "1" : "0");
}

void FormatTelephonyLine(char *pszLine, size_t cchLine, int nResult, const char *pszPort)
{
    TextLine line;
    StartLine(&line, pszLine, cchLine);
    AppendText(&line, kLinePrefix);
    AppendText(&line, "telephony asked: ");
    const char *pszResult = "0";
    if (nResult == 2) {
        AppendText(&line, "a data modem at 9600 bit/s or more");
        pszResult = "2";
    } else if (nResult == 1) {
        AppendText(&line, "data modems, none at 9600 bit/s or more");
        pszResult = "1";
    } else {
        AppendText(&line, "no data modem, or no telephony");
    }
    AppendResult(&line, TVR_PROPERTY_TELEPHONY_RESULT, pszResult);
    AppendPort(&line, TVR_PROPERTY_TELEPHONY_PORT, pszPort);
}
