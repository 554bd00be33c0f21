// Shared by the telephony unit tests: a fixture on the Win32 test double that also
// checks, after every test, that the telephony library was released once for every
// load, that every line opened was closed, and that no entry point stays bound.
#ifndef TVR_TEST_TELEPHONY_FIXTURE_H
#define TVR_TEST_TELEPHONY_FIXTURE_H

#include <string.h>

#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_tapi.h"
#include "telephony/ModemQuery.h"
#include "telephony/ModemTable.h"
#include "telephony/TapiLayout.h"
#include "telephony/TelephonyBinding.h"

inline bool AllEntryPointsNull()
{
    return !g_lpfnLineClose && !g_lpfnLineGetDevCaps && !g_lpfnLineGetDevConfig && !g_lpfnLineGetID &&
           !g_lpfnLineInitialize && !g_lpfnLineNegotiateAPIVersion && !g_lpfnLineOpen && !g_lpfnLineShutdown;
}

inline bool AllSevenBound()
{
    return g_lpfnLineClose && g_lpfnLineGetDevCaps && g_lpfnLineGetDevConfig && g_lpfnLineGetID &&
           g_lpfnLineInitialize && g_lpfnLineNegotiateAPIVersion && g_lpfnLineOpen;
}

class TelephonyTest : public FakePlatformTest {
protected:
    void TearDown() override
    {
        FakePlatformTest::TearDown();
        EXPECT_EQ(fake::tapi::FreeCount(), fake::tapi::LoadCount()) << "library loads and releases differ";
        EXPECT_EQ(fake::tapi::BadFreeCount(), 0) << "FreeLibrary given a handle that was not loaded";
        EXPECT_EQ(fake::tapi::OpenLineCount(), 0u) << "a line was left open";
        EXPECT_EQ(fake::tapi::BadCloseCount(), 0) << "lineClose given a line that was not open";
        EXPECT_TRUE(AllEntryPointsNull()) << "entry points left bound";
    }

    // A session as BindTelephony leaves it, for driving the table and the queries alone.
    void BindOrFail(TelephonySession *pSession)
    {
        memset(pSession, 0, sizeof *pSession);
        ASSERT_EQ(BindTelephony(pSession), 1);
    }
};

// A whole caller's buffer pre-filled with a sentinel byte, so that a write shows.
struct PortBuffer {
    static const unsigned char kSentinel = 0xA5;
    char sz[128];
    PortBuffer() { memset(sz, kSentinel, sizeof sz); }
    bool Untouched() const
    {
        for (char c : sz)
            if (static_cast<unsigned char>(c) != kSentinel)
                return false;
        return true;
    }
    // The text up to the first zero, or the whole buffer when no zero was written, so
    // that a buffer left unterminated is compared, not read past.
    std::string Text() const { return std::string(sz, strnlen(sz, sizeof sz)); }
    // Bytes at and after n are still the sentinel.
    bool UntouchedFrom(size_t n) const
    {
        for (size_t i = n; i < sizeof sz; ++i)
            if (static_cast<unsigned char>(sz[i]) != kSentinel)
                return false;
        return true;
    }
};

inline std::vector<BYTE> Preset(void (*pfnPreset)(BYTE *), size_t cb)
{
    std::vector<BYTE> v(cb, 0xCC);
    pfnPreset(v.data());
    return v;
}

#endif // TVR_TEST_TELEPHONY_FIXTURE_H
