// The pure layout helpers alone: bounded reads and the table-size limit.
#include <gtest/gtest.h>

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

} // namespace
