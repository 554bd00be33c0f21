// Judges what a device sent back to "AT": the pure half of the modem scan, with no
// platform calls, so that it can be tested and fuzzed on its own.
#ifndef TVR_SERIAL_REPLYJUDGMENT_H
#define TVR_SERIAL_REPLYJUDGMENT_H

#include <windows.h>

// lpReply holds the bytes of one read, zero-filled behind them; lReplySize is the size
// of that buffer. The reply ends at its first zero byte or at the end of the buffer,
// whichever comes first; no byte past lReplySize is read.
// TRUE when the reply counts as an answer: it is not empty and it is not exactly the
// two characters "OK". A modem frames its verbose result codes with CR LF, so a real
// answer is "\r\nOK\r\n"; a bare "OK" is what a loop-back or a line echo of something
// else looks like, and counts as silence.
BOOL IsModemReply(const char *lpReply, LONG lReplySize);

#endif // TVR_SERIAL_REPLYJUDGMENT_H
