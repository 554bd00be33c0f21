// The reply judgment over any bytes and any buffer size. The fuzzer's bytes are the
// buffer, copied into a heap block of exactly that size, so that a read past it is a
// sanitizer error; the first byte, when there is one, also chooses how much of the
// buffer the judgment is told about (any size from 0 to the whole block).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fake_platform.h"
#include "serial/ReplyJudgment.h"

// The rule restated without the library's code: the reply is the bytes before the
// first zero or the end of the buffer; it is an answer unless it is empty or "OK".
static bool ReferenceIsAnswer(const char *p, size_t cb)
{
    size_t n = 0;
    while (n < cb && p[n] != '\0')
        ++n;
    if (n == 0)
        return false;
    return !(n == 2 && p[0] == 'O' && p[1] == 'K');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cbData)
{
    fake::Reset();
    if (cbData == 0) {
        // An empty buffer and a null one are both "nothing came".
        if (IsModemReply(NULL, 0) || IsModemReply(NULL, 128))
            abort();
        return 0;
    }
    // Told about a prefix of the block, or about all of it.
    size_t cbTold = pData[0] % 2 == 0 ? cbData : (pData[0] / 2) % (cbData + 1);
    char *pBlock = static_cast<char *>(malloc(cbData));
    memcpy(pBlock, pData, cbData);
    BOOL bAnswer = IsModemReply(pBlock, static_cast<LONG>(cbTold));
    if ((bAnswer != FALSE) != ReferenceIsAnswer(pBlock, cbTold))
        abort();
    free(pBlock);
    return 0;
}
