// Counts the heap allocations of one TVRModemAvailable call, on the counting heap of the
// Win32 test double, for services with 1, 16 and 256 line devices. Prints figures only.
//
//   tvr_bench_telephony
#include <stdio.h>

#include "fake_platform.h"
#include "fake_tapi.h"
#include "telephony/ModemQuery.h"

namespace {

// Runs one call on a fresh double with nLines devices, of which the data modems are
// every nModemEvery-th; prints the result, the allocations, the blocks still live, the
// bytes asked for in all and the largest block.
void Measure(const char *pszWhat, int nLines, int nModemEvery, DWORD dwBaud)
{
    fake::Reset();
    for (int i = 0; i < nLines; ++i) {
        fake::tapi::Device d = fake::tapi::DataModem("COM" + std::to_string(i % 4 + 1), dwBaud);
        if (i % nModemEvery != 0)
            d.dwMediaModes = 0;
        fake::tapi::Script().devices.push_back(d);
    }
    char szPort[76];
    int nResult = TVRModemAvailable(szPort);
    size_t cbLargest = 0, cbTotal = 0;
    for (size_t cb : fake::AllocSizes()) {
        cbTotal += cb;
        if (cb > cbLargest)
            cbLargest = cb;
    }
    printf("%-34s lines=%-4d result=%d allocations=%-4zu live_after=%zu bytes_total=%zu largest=%zu\n", pszWhat,
           nLines, nResult, fake::AllocCount(), fake::LiveBlocks(), cbTotal, cbLargest);
}

} // namespace

int main()
{
    const int kLines[] = {1, 16, 256};
    for (int n : kLines)
        Measure("every device a slow modem", n, 1, 2400);
    for (int n : kLines)
        Measure("only device 0 a (slow) modem", n, n + 1, 2400);
    for (int n : kLines)
        Measure("every device a fast modem", n, 1, 9600);
    return 0;
}
