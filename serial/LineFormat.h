// The line format that every serial operation of the library puts on a port: the
// caller's speed with 8 data bits, no parity and one stop bit. Only these four fields of
// the port's DCB are changed; flow control, DTR/RTS and the special characters stay as
// the port had them.
#ifndef TVR_SERIAL_LINEFORMAT_H
#define TVR_SERIAL_LINEFORMAT_H

#include <windows.h>

void SetLineFormat(DCB *lpDcb, DWORD dwBaudRate);

#endif // TVR_SERIAL_LINEFORMAT_H
