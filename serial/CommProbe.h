// The one probe of a serial port: open it, hold the modem dialogue, close it, judge the
// reply. The scan, the find and tvrprobe's report all probe through here, so that every
// caller sends the same commands with the same settings, time-outs and judgment.
#ifndef TVR_SERIAL_COMMPROBE_H
#define TVR_SERIAL_COMMPROBE_H

#include <windows.h>

// Size of the buffer that receives the answer to "AT".
#define TVR_MODEM_REPLY_SIZE 128

// The ports the scan and the find try: COM1 to COM4, the ports a PC's BIOS names.
#define TVR_FIRST_SCAN_PORT 1
#define TVR_LAST_SCAN_PORT 4

// The steps of one probe, in the order they run. A probe records the first step that
// failed; every step after the open ends the dialogue when it fails, and the port is
// closed all the same.
enum CommProbeStep {
    kProbeStepNone = 0,    // every step succeeded: the reply (maybe empty) is judged
    kProbeStepOpen,        // CreateFileA: the port is missing, or another program holds it
    kProbeStepGetState,    // GetCommState
    kProbeStepSetState,    // SetCommState: 2400 bit/s 8N1
    kProbeStepTimeouts,    // SetCommTimeouts
    kProbeStepQueues,      // SetupComm
    kProbeStepFirstWrite,  // WriteFile of "ATE0V1\r"
    kProbeStepSecondWrite, // WriteFile of "AT\r"
    kProbeStepReplyRead,   // the read of the answer to "AT"
    kProbeStepStopped,     // the caller's stop event ended the probe early (no error)
};

// What one probe found.
struct CommProbe {
    int nVerdict;                        // 1 when the reply counts as an answer, else 0
    CommProbeStep step;                  // the first step that failed, or kProbeStepNone
    DWORD dwError;                       // that step's Win32 error; 0 with kProbeStepNone
                                         // and kProbeStepStopped
    DWORD cbReply;                       // how many bytes the reply read delivered
    char achReply[TVR_MODEM_REPLY_SIZE]; // those bytes, zero-filled behind them
};

// Probes the port that CreateFileA knows as lpszOpenName ("COM3", "\\\\.\\COM12").
//
// hStop NULL: the probe blocks in each ReadFile and WriteFile for as long as the port's
// time-outs allow, exactly as the scan has always done.
//
// hStop an event (manual reset): the probe looks at it before the open and between
// steps, and ends as soon as it is set, the port closed, with kProbeStepStopped and the
// verdict 0. Its reads then never block: each one waits for input on the event, in
// slices of at most TVR_PROBE_POLL_MS, and keeps the port's time-outs itself (from the bytes
// that ClearCommError reports queued, each taken with a ReadFile that returns at once),
// so that a stop is seen within one slice. The bytes sent, the line settings and the
// time-outs are the same either way. A write is still one WriteFile under its time-out:
// it returns at once unless the device holds the line with flow control, and then
// within 1.07 s; a caller that must end it sooner cancels it on the probe's thread
// (CancelSynchronousIo), which the probe takes as a failed write.
void ProbeNamedPort(LPCSTR lpszOpenName, HANDLE hStop, CommProbe *lpProbe);

// Probes COM<lPortNumber>: its name formatted with wsprintfA, then ProbeNamedPort. A
// number outside TVR_FIRST_SCAN_PORT..TVR_LAST_SCAN_PORT opens nothing: verdict 0,
// step kProbeStepNone.
void ProbeNumberedPort(LONG lPortNumber, HANDLE hStop, CommProbe *lpProbe);

// The longest a stop-aware probe waits between two looks at its stop event, in ms.
#define TVR_PROBE_POLL_MS 20

#endif // TVR_SERIAL_COMMPROBE_H
