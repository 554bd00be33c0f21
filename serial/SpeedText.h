// A line speed written as text, as installer scripts and packages pass it.
#ifndef TVR_SERIAL_SPEEDTEXT_H
#define TVR_SERIAL_SPEEDTEXT_H

#include <windows.h>

// Decimal digits only, at least one (leading zeros allowed), naming 1 to 4294967295
// bit/s; no sign, no blank, no unit. True and the speed in *pdwSpeed; false for anything
// else (NULL included), with *pdwSpeed left alone, so that "96OO", "" or "0" never reach
// a port as a speed.
bool ParseSpeed(const char *pszText, DWORD *pdwSpeed);

#endif // TVR_SERIAL_SPEEDTEXT_H
