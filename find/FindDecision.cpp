#include "find/FindDecision.h"

FindOutcome DecideFind(const FindPortState *rgState, LONG cPorts, BOOL bCancelled, LONG *lpIndex)
{
    if (bCancelled)
        return kFindCancelled;
    for (LONG i = 0; i < cPorts; ++i) {
        if (rgState[i] == kFindPortAnswered) {
            *lpIndex = i;
            return kFindFound;
        }
        // A stopped probe is one the find itself ended after its answer was known; it
        // can only lie above that answer, so it never holds the decision up.
        if (rgState[i] == kFindPortWaiting || rgState[i] == kFindPortProbing)
            return kFindUndecided;
    }
    return kFindNone;
}

LONG NextPortToStart(const FindPortState *rgState, LONG cPorts, BOOL bInTurn)
{
    if (bInTurn) {
        for (LONG i = 0; i < cPorts; ++i)
            if (rgState[i] == kFindPortProbing)
                return -1;
    }
    for (LONG i = 0; i < cPorts; ++i) {
        if (rgState[i] == kFindPortAnswered)
            return -1;
        if (rgState[i] == kFindPortWaiting)
            return i;
    }
    return -1;
}
