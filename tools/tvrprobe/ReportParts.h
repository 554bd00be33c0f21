// The parts of "tvrprobe report", each in a file of its own name; VerbReport.cpp runs
// them in this order and then asks telvarid.dll its questions.
//
//   ReportHead.cpp          versions, Windows's version, the date and time, the DLL's
//                           full path and architecture, and why it could not be loaded
//   ReportSerialPorts.cpp   COM1..COM4 and every other port Windows lists, each probed as
//                           the modem scan does
//   ReportTelephony.cpp     every line device of TAPI32.DLL, with its port and speed
#ifndef TVR_TOOLS_REPORTPARTS_H
#define TVR_TOOLS_REPORTPARTS_H

#include "ReportText.h"
#include "TelvaridLoader.h"

// Which serial ports the command line lets the report open.
struct PortChoice {
    bool bNoProbe;                    // --no-probe: list every port, open none
    bool bOnlyNamed;                  // --ports: open only the ports it names
    bool rgbNamed[kLargestPort + 1];  // those ports, by number
};

// What the serial ports part leaves for the answers of the exports: what it did, or
// would have done, with each port, COM1 to COM255, listed or not.
struct PortSurvey {
    PortPlan rgPlan[kLargestPort + 1];
};

void ReportHead(const TelvaridApi *pApi);
void ReportSerialPorts(const PortChoice *pChoice, PortSurvey *pSurvey);
void ReportTelephony(void);

#endif // TVR_TOOLS_REPORTPARTS_H
