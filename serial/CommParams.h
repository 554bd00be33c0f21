// The steps of the port parameter check. Only TVRCheckCommParams is exported; the
// second step is declared here so that tests can drive it alone.
#ifndef TVR_SERIAL_COMMPARAMS_H
#define TVR_SERIAL_COMMPARAMS_H

#include <windows.h>

// The longest command text that fits the 256-byte line with its carriage return and
// terminating zero. Longer texts are refused before the port is opened.
#define TVR_MAX_COMMAND_CHARS 254

// On an open, configured port: sends lpszCommand and a carriage return, then polls for
// up to 3000 ms for any byte. 1 if a byte came, else 0. A null command, or one longer
// than TVR_MAX_COMMAND_CHARS characters, is refused: 0 at once, nothing sent or read.
int SendCommandAndWait(HANDLE hPort, LPCSTR lpszCommand);

#endif // TVR_SERIAL_COMMPARAMS_H
