// Length of a caller's command text, measured without trusting it to be short: the pure
// half of the port parameter check.
#ifndef TVR_SERIAL_COMMANDTEXT_H
#define TVR_SERIAL_COMMANDTEXT_H

#include <windows.h>

// The number of characters before the terminating zero, looking at no more than
// lLimit + 1 of them: a text longer than lLimit gives lLimit + 1, whatever its real
// length, and a null pointer gives -1.
LONG BoundedTextLength(LPCSTR lpszText, LONG lLimit);

#endif // TVR_SERIAL_COMMANDTEXT_H
