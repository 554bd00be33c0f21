// The find's decision rule: the pure half of TVRFindModem, with no platform calls. From
// what is known of each port it says whether the answer is known yet, and which port to
// start next.
#ifndef TVR_FIND_FINDDECISION_H
#define TVR_FIND_FINDDECISION_H

#include <windows.h>

// What the find knows of one port.
enum FindPortState {
    kFindPortWaiting = 0, // not started yet
    kFindPortProbing,     // its probe is running
    kFindPortSilent,      // finished without an answer: missing, held, failed or silent
    kFindPortAnswered,    // finished, and its reply counts as an answer
    kFindPortStopped,     // its probe was ended early; it counts for nothing
};

enum FindOutcome {
    kFindUndecided = 0, // a lower-numbered port may still answer
    kFindFound,         // *lpIndex names the answering port
    kFindNone,          // every port finished without an answer
    kFindCancelled,     // the user ended the search
};

// The scan's answer, known as early as it can be: the lowest-numbered port that
// answers, once every port below it has finished without an answer. A port that answers
// while a lower one still probes waits for it; a cancel wins over everything. On
// kFindFound, *lpIndex receives the port's index in rgState (from 0).
FindOutcome DecideFind(const FindPortState *rgState, LONG cPorts, BOOL bCancelled, LONG *lpIndex);

// The index of the next port to start, or -1 when none should start now. All at once:
// every waiting port, lowest first. In turn: the lowest waiting port, and only when no
// port is probing and no lower port answered (so that no port after the answering one
// is ever opened).
LONG NextPortToStart(const FindPortState *rgState, LONG cPorts, BOOL bInTurn);

#endif // TVR_FIND_FINDDECISION_H
