// The pure half of the custom actions: the property names, reading the check's inputs,
// and the one log line each action writes. Its one platform call is wsprintfA, which
// writes each line, so that every rule and every line is tested alone.
#ifndef TVR_MSI_ACTIONTEXT_H
#define TVR_MSI_ACTIONTEXT_H

#include <windows.h>
#include <stddef.h>

#include "msi/InstallerSession.h"
#include "serial/SpeedText.h"

// The package's public properties, one prefix, upper case (the installer passes only
// upper-case properties from the user interface to the execute sequence).
#define TVR_PROPERTY_FIND_RESULT "TVR_FIND_RESULT"           // find: 1, 0, or -1 (could not run)
#define TVR_PROPERTY_FIND_PORT "TVR_FIND_PORT"               // find: "COM3", or unset
#define TVR_PROPERTY_CHECK_PORT "TVR_CHECK_PORT"             // check: the port, set by the package
#define TVR_PROPERTY_CHECK_SPEED "TVR_CHECK_SPEED"           // check: bit/s, set by the package
#define TVR_PROPERTY_CHECK_COMMAND "TVR_CHECK_COMMAND"       // check: optional command
#define TVR_PROPERTY_CHECK_RESULT "TVR_CHECK_RESULT"         // check: 1 or 0
#define TVR_PROPERTY_TELEPHONY_RESULT "TVR_TELEPHONY_RESULT" // telephony: 2, 1 or 0
#define TVR_PROPERTY_TELEPHONY_PORT "TVR_TELEPHONY_PORT"     // telephony: port name, or unset

// Room for the texts the actions read and write, the zero included.
static const DWORD kPortNameChars = 256; // a port name, "COM3" or "\\.\COM12"
static const DWORD kSpeedChars = 16;     // ten digits are the most a DWORD takes
static const DWORD kLogLineChars = 1024; // a line: wsprintfA's most, and more than the longest needs
static const DWORD kFindPortChars = 8;   // "COM1" to "COM4"

// "COMn" for port number n (1 to 4, as the find reports); empty for anything else.
void PortNameOf(int nPort, char achName[kFindPortChars]);

// Whether the check can run, from what its three property reads found.
enum CheckInput {
    CHECK_INPUT_OK,                 // run the check
    CHECK_INPUT_NO_PORT,            // TVR_CHECK_PORT not set
    CHECK_INPUT_PORT_TOO_LONG,      // TVR_CHECK_PORT longer than 255 characters
    CHECK_INPUT_NO_SPEED,           // TVR_CHECK_SPEED not set
    CHECK_INPUT_BAD_SPEED,          // TVR_CHECK_SPEED not a speed in bit/s
    CHECK_INPUT_COMMAND_TOO_LONG,   // TVR_CHECK_COMMAND longer than the check sends
    CHECK_INPUT_UNREADABLE          // the installer refused a read
};
struct CheckRequest {
    PropertyState portState;
    const char *pszPort;
    PropertyState speedState;
    const char *pszSpeed;
    PropertyState commandState; // an empty command means none is sent
    const char *pszCommand;
};
// The first thing that stops the check, in the order port, speed, command; OK with the
// speed in *pdwBaud when nothing does.
CheckInput JudgeCheckInput(const CheckRequest *pRequest, DWORD *pdwBaud);

// The one log line of each action: what was asked, what was found, and the properties
// set. The longest inputs the actions read (a 255-character port, a 254-character
// command) leave the line well inside kLogLineChars. nResult is the answer given
// (the find's -1: the search could not run); the port is "COMn" or empty.
void FormatFindLine(char achLine[kLogLineChars], int nResult, const char *pszPort);
void FormatCheckLine(char achLine[kLogLineChars], const CheckRequest *pRequest, CheckInput input, DWORD dwBaud,
                     int nResult);
void FormatTelephonyLine(char achLine[kLogLineChars], int nResult, const char *pszPort);

#endif // TVR_MSI_ACTIONTEXT_H
