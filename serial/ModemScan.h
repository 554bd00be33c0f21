// The steps of the serial modem scan. Only TVRScanForModem is exported; the steps are
// declared here so that tests can drive each one alone. They are the probe of
// serial/CommProbe.h in the scan's own form: no stop event, so every read blocks under
// the port's time-outs.
#ifndef TVR_SERIAL_MODEMSCAN_H
#define TVR_SERIAL_MODEMSCAN_H

#include <windows.h>

#include "serial/CommProbe.h"

// Opens COM<lPortNumber> (1 to 4), holds the dialogue, closes the port and judges the
// reply. 1 when the device answered, else 0. *lpdwError receives 0 or the Win32 error
// of the first step that failed (the open included); it plays no part in the result.
int ProbeCommPort(LONG lPortNumber, DWORD *lpdwError);

// On an open port: sets 2400 8N1, the time-outs and the queue sizes, sends "ATE0V1" and
// "AT" and reads the answer into lpReply (zero-filled first). 0 when every step
// succeeded, else the GetLastError value of the first step that failed. Does nothing
// and returns 0 for a null handle, a null buffer or a size of 0 or less.
DWORD RunModemDialogue(HANDLE hPort, char *lpReply, LONG lReplySize);

// Purges the port's input (never its output: a command just written must still reach
// the device), then reads and discards bytes until the line falls silent, or until the
// drain has run for its time limit against a device that never does.
void DrainCommInput(HANDLE hPort);

#endif // TVR_SERIAL_MODEMSCAN_H
