#include "serial/ReplyJudgment.h"

BOOL IsModemReply(const char *lpReply, LONG lReplySize)
{
    if (lpReply == NULL || lReplySize <= 0 || lpReply[0] == '\0')
        return FALSE;
    // "OK" and then the end of the reply: a zero byte, or the end of the buffer.
    if (lpReply[0] == 'O' && lReplySize >= 2 && lpReply[1] == 'K' && (lReplySize == 2 || lpReply[2] == '\0'))
        return FALSE;
    return TRUE;
}
