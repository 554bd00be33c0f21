// The pure layout helpers alone: bounded reads and the table-size limit.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <random>
#include <vector>

#include "telephony/TapiLayout.h"

namespace {

TEST(TelephonyLayout, ReadsLittleEndianOnlyInsideTheBlock)
{
    const BYTE kBlock[8] = {0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(ReadBlockDword(kBlock, 8, 0), 0x12345678u);
    EXPECT_EQ(ReadBlockDword(kBlock, 8, 4), 0xDDCCBBAAu);
    EXPECT_EQ(ReadBlockDword(kBlock, 8, 5), 0u) << "would read one byte past the end";
    EXPECT_EQ(ReadBlockDword(kBlock, 8, 0xFFFFFFFEu), 0u) << "offset + 4 must not wrap";
}

TEST(TelephonyLayout, WritesNothingOutsideTheBlock)
{
    std::vector<BYTE> v(10, 0xEE);
    WriteBlockDword(v.data(), 8, 5, 0);
    WriteBlockDword(v.data(), 8, 0xFFFFFFFFu, 0);
    WriteBlockWord(v.data(), 8, 7, 0);
    EXPECT_EQ(v, std::vector<BYTE>(10, 0xEE));
    WriteBlockWord(v.data(), 8, 6, 0x0102);
    EXPECT_EQ(v[6], 0x02);
    EXPECT_EQ(v[7], 0x01);
}

TEST(TelephonyLayout, TableSizeMustFitIn32Bits)
{
    const DWORD kLargest = static_cast<DWORD>((0xFFFFFFFFull - 4) / 268);
    DWORD cb = 0;
    EXPECT_TRUE(ModemTableSize(1, &cb));
    EXPECT_EQ(cb, 272u);
    EXPECT_TRUE(ModemTableSize(kLargest, &cb));
    EXPECT_EQ(cb, 4 + 268ull * kLargest);
    cb = 123;
    EXPECT_FALSE(ModemTableSize(kLargest + 1, &cb));
    EXPECT_FALSE(ModemTableSize(0xFFFFFFFFu, &cb));
    EXPECT_EQ(cb, 123u) << "no size is given out on failure";
}

TEST(TelephonyLayout, CapabilitiesPresetIsZeroButThreeFields)
{
    std::vector<BYTE> v(495, 0xCC);
    PresetDevCapsBuffer(v.data());
    EXPECT_EQ(ReadBlockDword(v.data(), 495, 0), 495u);
    EXPECT_EQ(ReadBlockDword(v.data(), 495, 32), 255u);
    EXPECT_EQ(ReadBlockDword(v.data(), 495, 36), 240u);
    WriteBlockDword(v.data(), 495, 0, 0);
    WriteBlockDword(v.data(), 495, 32, 0);
    WriteBlockDword(v.data(), 495, 36, 0);
    EXPECT_EQ(v, std::vector<BYTE>(495, 0));
}

// Blocks filled with random bytes and with sizes and offsets drawn from the values that
// break bounds arithmetic: the readers must stay inside each block (ASan watches blocks
// of exactly their size), write at most 75 characters and a zero whatever the width of
// the port handle, and fill the line-name
// field with a zero-terminated name.
TEST(TelephonyLayout, RandomServiceAnswersStayInBounds)
{
    std::mt19937 rng(20261210);
    auto pick = [&rng](DWORD cb) -> DWORD {
        const DWORD kEdges[] = {0, 1, 3, 4, 5, 8, 9, 23, 24, 27, 28, 31, 32, 33, 51, 52, 79, 80, 95, 96, 99,
                                100, 103, 104,
                                135, 136, 236, 240, 254, 255, 256, 494, 495, 496, 0x7FFFFFFF,
                                0x80000000u, 0xFFFFFF00u, 0xFFFFFFFCu, 0xFFFFFFFFu};
        switch (rng() % 3) {
        case 0: return kEdges[rng() % (sizeof kEdges / sizeof kEdges[0])];
        case 1: return rng() % (cb + 8);
        default: return static_cast<DWORD>(rng());
        }
    };
    int nNames = 0, nLineNames = 0;
    for (int i = 0; i < 6000; ++i) {
        const DWORD cbSizes[] = {104, 136, 495};
        DWORD cb = cbSizes[i % 3];
        std::unique_ptr<BYTE[]> block(new BYTE[cb]);
        for (DWORD j = 0; j < cb; ++j)
            block[j] = static_cast<BYTE>(rng() % 4 ? 'A' + rng() % 26 : 0);
        for (DWORD dwOffset : {4u, 8u, 16u, 20u, 32u, 36u})
            if (rng() % 8)
                WriteBlockDword(block.get(), cb, dwOffset, pick(cb));

        char szPort[100];
        memset(szPort, 0x5A, sizeof szPort);
        // Either width of the port handle: 4 bytes (x86) or 8 (x86-64).
        DWORD cbHandle = (i / 3) % 2 ? 8 : 4;
        if (CopyPortName(block.get(), cb, cbHandle, szPort)) {
            ++nNames;
            size_t cch = strnlen(szPort, sizeof szPort);
            ASSERT_LE(cch, 75u) << "case " << i;
            for (size_t j = cch + 1; j < sizeof szPort; ++j)
                ASSERT_EQ(szPort[j], 0x5A) << "case " << i << ": written past the zero";
        } else {
            for (char c : szPort)
                ASSERT_EQ(c, 0x5A) << "case " << i << ": written although no name";
        }

        char szLine[256];
        memset(szLine, 0x5A, sizeof szLine);
        CopyLineName(block.get(), cb, szLine);
        ASSERT_EQ(szLine[255], '\0');
        nLineNames += szLine[0] != '\0';
        for (size_t j = strlen(szLine); j < sizeof szLine; ++j)
            ASSERT_EQ(szLine[j], '\0') << "case " << i << ": the field's rest must be zero";

        (void)ReadConfiguredSpeed(block.get(), cb);
    }
    // The draws must reach the copying paths, not only the refusals.
    EXPECT_GT(nNames, 100);
    EXPECT_GT(nLineNames, 100);
}

} // namespace
