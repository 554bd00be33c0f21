// Serial ports of the Win32 test double: CreateFileA, CloseHandle, the Comm* functions,
// ReadFile and WriteFile over scriptable port models, plus wsprintfA.
//
// A port name that was never described is missing (its open fails with
// ERROR_FILE_NOT_FOUND). A described port is held by another program (open fails with
// ERROR_ACCESS_DENIED) or present. A present port has:
//   - a current DCB, at first DistinctiveDcb(), replaced by every SetCommState;
//   - an input stream: bytes that arrive at given moments of the virtual clock
//     (fake::Now), scheduled up front, by reply rules when the host writes a trigger,
//     or by a chatter generator (one byte every k ms, without end);
//   - a write behaviour, one step per WriteFile call, then the default (accept all);
//   - the error words that successive ClearCommError calls report (then 0);
//   - optionally a paced transmit side: WriteFile returns as soon as its bytes are
//     queued, and they leave at the line's speed, as on Wine (the tty queues them) and
//     on USB adapters (writes complete early); a transmit purge discards what is left;
//   - optionally a Hayes modem that keeps its echo (E) and result-code (V) settings.
// Everything the production code gives the port is recorded on it.
//
// ReadFile follows the documented COMMTIMEOUTS rules on the virtual clock and moves the
// clock to the moment the read returns; a read that could never return aborts the test
// program with a message instead of hanging.
#ifndef TVR_TEST_FAKE_SERIAL_H
#define TVR_TEST_FAKE_SERIAL_H

#include <windows.h>

#include <string>
#include <vector>

namespace fake {
namespace serial {

// What one WriteFile call does.
struct WriteStep {
    enum Kind {
        kAcceptAll,   // every byte is sent at once
        kAcceptSome,  // at most cbCount bytes are sent; the call ends at its write time-out
        kFail,        // fails with dwError after sending cbCount bytes (reported as written),
                      // dwMs after the call began (a write aborted by a line error)
        kSendNothing, // succeeds with 0 bytes after its write time-out
    };
    Kind kind;
    DWORD cbCount;
    DWORD dwError;
    DWORD dwMs;
    // A driver that misreports: the call does what its kind says, but the count it
    // reports is cbReported, not the bytes it sent (see Misreport).
    bool bMisreport = false;
    DWORD cbReported = 0;
};

WriteStep AcceptAll();
WriteStep AcceptSome(DWORD cbCount);
WriteStep FailWrite(DWORD dwError, DWORD cbWritten = 0, DWORD dwAfterMs = 0);
WriteStep SendNothing();
// The same step, reporting cbReported bytes written (more than were asked, say) while
// sending only what the step sends.
WriteStep Misreport(WriteStep step, DWORD cbReported);

// "After the host has written szTrigger, szReply starts to arrive dwDelay ms later,
// one byte every dwGap ms." The trigger is matched against the end of everything
// written since the port was opened; the rule fires every time it matches.
struct ReplyRule {
    std::string strTrigger;
    std::string strReply;
    DWORD dwDelay;
    DWORD dwGap;
};

struct Port {
    // Script
    bool bHeld = false;
    DCB dcbCurrent;
    std::vector<ReplyRule> replies;
    DWORD dwChatterEvery = 0; // 0: no chatter
    char chChatter = 'x';
    DWORD dwChatterNext = 0;  // arrival time of the next chatter byte
    std::vector<WriteStep> writeSteps;
    size_t nextWriteStep = 0;
    WriteStep writeDefault = AcceptAll();
    std::vector<DWORD> commErrors;
    size_t nextCommError = 0;
    // What a failing ClearCommError leaves in the caller's error word: the function
    // documents no output on failure, so a caller must not read it. 0: left untouched.
    DWORD dwErrorsLeftOnFailure = 0;
    // ReadFile calls on this port (counted from 1 since the port was described) that
    // deliver what they read and then fail with the error: (n, error).
    std::vector<std::pair<size_t, DWORD>> readFailuresAfterData;
    // Paced transmit side (see PaceTransmit).
    bool bPacedTransmit = false;
    // Hayes modem (see AddHayesModem).
    bool bHayes = false;
    bool bHayesEcho = true;     // E1: every byte received is sent back
    bool bHayesVerbose = false; // V1: "\r\nOK\r\n"; V0: "0\r"
    DWORD dwHayesDelay = 20;    // from the carriage return to the first byte of the answer
    DWORD dwHayesGap = 5;       // between the bytes of an answer (about 2400 bit/s)

    // Live state
    HANDLE hOpen = nullptr;
    COMMTIMEOUTS timeouts = {0, 0, 0, 0, 0};
    std::vector<std::pair<DWORD, char>> input; // (arrival time, byte), in arrival order
    std::string strWrittenSinceOpen;           // what reached the device since the open
    std::vector<std::pair<DWORD, char>> txQueue; // (moment it has left the line, byte)
    DWORD dwTxBurstStart = 0;                   // when the line began sending the queue
    uint64_t qwTxBurstNs = 0;                   // line time of the queue's bytes so far
    std::string strHayesLine;                   // the command line the modem is receiving
    size_t nReads = 0;

    // Record
    int nOpens = 0;
    std::vector<DCB> setStates;
    std::vector<COMMTIMEOUTS> setTimeouts;
    std::vector<std::pair<DWORD, DWORD>> queueSizes;
    std::vector<DWORD> purges;
    std::vector<std::string> writes;      // the bytes offered by each WriteFile call
    std::vector<std::string> sent;        // the bytes each WriteFile call actually sent
    std::vector<DWORD> readSizes;         // the count asked of each ReadFile call
    std::vector<std::string> reads;       // the bytes each ReadFile call delivered
    std::string strDeviceReceived;        // every byte that reached the device, in order
    std::string strTxDiscarded;           // queued bytes that never left: purged, or
                                          // still queued when the handle was closed
};

// A DCB with every field set to a distinctive non-zero value, so that a field the code
// should have left alone shows up when it comes back changed.
DCB DistinctiveDcb();

// Describes a present port (fresh, with DistinctiveDcb()) and returns it for scripting.
Port &AddPort(const std::string &strName);
// Describes a port that another program holds open.
void HoldPort(const std::string &strName);
// The port described under that name; aborts if there is none.
Port &GetPort(const std::string &strName);
bool HasPort(const std::string &strName);

// Input scripting on a present port.
void ArriveAt(Port &port, DWORD dwAt, const std::string &strBytes, DWORD dwGap = 0);
void AddReply(Port &port, const std::string &strTrigger, const std::string &strReply,
              DWORD dwDelay = 20, DWORD dwGap = 0);
// One byte every dwEvery ms from now on, without end.
void Chatter(Port &port, DWORD dwEvery, char ch = 'x');
// A Hayes modem: answers "ATE0V1\r" (with echo, as a modem whose echo is still on
// would) and "AT\r" with "\r\nOK\r\n".
void AddModem(Port &port);
// A Hayes modem with a memory: it starts with echo on (E1) and numeric result codes
// (V0) and keeps what each command line sets. Every byte it receives is echoed while E1
// holds. A line that ends in a carriage return is carried out from its first "AT" (a
// line without one gets no answer): E and V, each with an optional 0 or 1, change the
// settings, and the answer is OK ("\r\nOK\r\n", or "0\r" under V0). Any other character
// makes the line an ERROR ("\r\nERROR\r\n" or "4\r") that changes nothing.
void AddHayesModem(Port &port);

// Paces the port's transmit side: each WriteFile queues the bytes it sends and returns
// at once; the bytes leave one by one at the line speed of the port's DCB (start bit,
// data bits, parity bit, stop bits; at 2400 bit/s 8N1 a byte takes 4.17 ms), and the
// device receives each byte (reply rules, the Hayes modem) only once it has left.
// PurgeComm with PURGE_TXABORT or PURGE_TXCLEAR discards the bytes still queued, as
// Wine does for either flag (it flushes the tty's output queue).
void PaceTransmit(Port &port);

// Bytes queued on a paced port that have not yet left the line.
size_t PendingOutput(const Port &port);

// The nth ReadFile call on the port (from 1) delivers its bytes, then fails with dwError.
void FailReadAfterData(Port &port, size_t nth, DWORD dwError);

// Bytes that have arrived on the port by now and wait to be read.
size_t PendingInput(const Port &port);

// Escapes bytes for a log line or a test message: "AT\r" stays readable.
std::string Escape(const std::string &strBytes);

} // namespace serial
} // namespace fake

#endif // TVR_TEST_FAKE_SERIAL_H
