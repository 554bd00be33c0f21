// Judges what a device sent back to "AT": the pure half of the modem scan, with no
// platform calls, so that it can be tested and fuzzed on its own.
#ifndef TVR_SERIAL_REPLYJUDGMENT_H
#define TVR_SERIAL_REPLYJUDGMENT_H

#include <windows.h>

// lpReply holds the bytes of one read, zero-filled behind them; lReplySize is the size
// of that buffer. The reply ends at its first zero byte or at the end of the buffer,
// whichever comes first; no byte past lReplySize is read.
// TRUE when the reply counts as an answer: it is not empty and it is not exactly the
// two characters "OK". A Hayes modem under V1, which the scan's first command selects,
// frames its result codes with CR LF, so its answer is "\r\nOK\r\n"; a bare "OK", with
// no framing, is not how such a modem answers, and counts as silence. Every other
// non-empty reply counts, an echo included: a loop-back plug, which sends "AT\r"
// straight back, looks the same as a modem whose echo stayed on, and counts as an
// answer too.
BOOL IsModemReply(const char *lpReply, LONG lReplySize);

#endif // TVR_SERIAL_REPLYJUDGMENT_H
