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

#include "TelvaridLoader.h"

void ReportHead(const TelvaridApi *pApi);
void ReportSerialPorts(void);
void ReportTelephony(void);

#endif // TVR_TOOLS_REPORTPARTS_H
