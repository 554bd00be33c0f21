// The judgment of the answer to "AT": only an empty reply or a bare "OK" is silence.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "serial/ReplyJudgment.h"

namespace {

struct JudgmentCase {
    const char *szName;
    std::string strReply; // copied to the front of a zero-filled 128-byte buffer
    BOOL bAnswer;
};

const JudgmentCase kCases[] = {
    {"Empty", std::string(), FALSE},
    {"BareOk", "OK", FALSE},
    {"FramedOk", "\r\nOK\r\n", TRUE},
    {"Error", "ERROR", TRUE},
    {"FramedError", "\r\nERROR\r\n", TRUE},
    {"ZeroFirstThenText", std::string("\0\r\nOK\r\n", 7), FALSE},
    {"OkThenCrLf", "OK\r\n", TRUE},
    {"OkThenMore", "OKAY", TRUE},
    {"OkAfterZeroIsStillOk", std::string("OK\0junk", 7), FALSE},
    {"LowerCaseOk", "ok", TRUE},
    {"OnlyO", "O", TRUE},
    {"OnlyK", "K", TRUE},
    {"EchoOfCommand", "AT\r", TRUE},
    {"FullBufferNoTerminator", std::string(128, 'A'), TRUE},
    {"FullBufferStartingOk", "OK" + std::string(126, ' '), TRUE},
};

void PrintTo(const JudgmentCase &c, std::ostream *os) { *os << c.szName; }

class ReplyJudgmentTest : public ::testing::TestWithParam<JudgmentCase> {};

TEST_P(ReplyJudgmentTest, JudgesTheReplyInA128ByteBuffer)
{
    const JudgmentCase &c = GetParam();
    // Exactly 128 bytes on the heap: a read past them is caught by the address sanitizer.
    std::vector<char> buffer(128, '\0');
    memcpy(buffer.data(), c.strReply.data(), c.strReply.size());
    EXPECT_EQ(IsModemReply(buffer.data(), 128), c.bAnswer);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyJudgmentTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<JudgmentCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST(ReplyJudgment, EndOfBufferEndsTheReplyLikeAZeroByte)
{
    std::vector<char> two = {'O', 'K'};
    EXPECT_FALSE(IsModemReply(two.data(), 2));
    std::vector<char> three = {'O', 'K', 'X'};
    EXPECT_TRUE(IsModemReply(three.data(), 3));
    std::vector<char> one = {'O'};
    EXPECT_TRUE(IsModemReply(one.data(), 1));
}

TEST(ReplyJudgment, NoBufferOrNoSizeIsSilence)
{
    char ach[4] = "OK!";
    EXPECT_FALSE(IsModemReply(nullptr, 128));
    EXPECT_FALSE(IsModemReply(ach, 0));
    EXPECT_FALSE(IsModemReply(ach, -1));
}

// Random buffers of every small size and the full size, each in an allocation of
// exactly that size: the sanitizer fails the test on any read past the end.
TEST(ReplyJudgment, NeverReadsPastTheBuffer)
{
    std::mt19937 rng(20261210);
    const char kAlphabet[] = {'\0', 'O', 'K', '\r', '\n', 'A', 'T', '\xff'};
    for (int iRound = 0; iRound < 20000; ++iRound) {
        size_t cb = iRound % 4 == 0 ? 128 : 1 + rng() % 8;
        char *pb = static_cast<char *>(malloc(cb));
        ASSERT_NE(pb, nullptr);
        for (size_t i = 0; i < cb; ++i)
            pb[i] = kAlphabet[rng() % sizeof kAlphabet];
        BOOL bAnswer = IsModemReply(pb, static_cast<LONG>(cb));
        // Independent statement of the rule, for the sizes where it is easy to see.
        std::string strReply(pb, strnlen(pb, cb));
        EXPECT_EQ(bAnswer, !strReply.empty() && strReply != "OK") << "size " << cb;
        free(pb);
    }
}

} // namespace
