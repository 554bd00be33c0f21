// The find's decision rule alone: which port wins, and when the answer is known, from
// each port's state and the order in which the probes finish.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "find/FindDecision.h"

namespace {

// One letter per port, COM1 first: w waiting, p probing, s silent, a answered, x stopped.
std::vector<FindPortState> States(const char *sz)
{
    std::vector<FindPortState> states;
    for (; *sz; ++sz) {
        switch (*sz) {
        case 'w': states.push_back(kFindPortWaiting); break;
        case 'p': states.push_back(kFindPortProbing); break;
        case 's': states.push_back(kFindPortSilent); break;
        case 'a': states.push_back(kFindPortAnswered); break;
        case 'x': states.push_back(kFindPortStopped); break;
        default: ADD_FAILURE() << "state letter " << *sz;
        }
    }
    return states;
}

struct DecisionCase {
    const char *szName;
    const char *szStates;
    bool bCancelled;
    FindOutcome outcome;
    LONG lIndex; // for kFindFound
};

void PrintTo(const DecisionCase &c, std::ostream *os) { *os << c.szName; }

const DecisionCase kDecisions[] = {
    {"Com3AnswersWhileCom1StillProbes", "ppap", false, kFindUndecided, -1},
    {"Com3AnswersWhileCom2StillProbes", "spap", false, kFindUndecided, -1},
    {"Com3AnswersAfterCom1AndCom2Finished", "ssap", false, kFindFound, 2},
    {"Com1AnswersFirst", "appp", false, kFindFound, 0},
    {"Com1AnswersAndCom3Too", "apap", false, kFindFound, 0},
    {"AllSilent", "ssss", false, kFindNone, -1},
    {"AllStillProbing", "pppp", false, kFindUndecided, -1},
    {"Com4LastToFinishSilent", "sssp", false, kFindUndecided, -1},
    {"Com4AnswersLast", "sssa", false, kFindFound, 3},
    {"CancelMidway", "spap", true, kFindCancelled, -1},
    {"CancelAfterAnAnswer", "appp", true, kFindCancelled, -1},
    {"CancelWhenAllSilent", "ssss", true, kFindCancelled, -1},
    {"InTurnCom2NotStartedYet", "swww", false, kFindUndecided, -1},
    {"InTurnCom2Answers", "saww", false, kFindFound, 1},
    {"PortsEndedAfterTheAnswerDoNotHoldItUp", "saxx", false, kFindFound, 1},
};

class DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionTest, DecidesFromThePortsStates)
{
    const DecisionCase &c = GetParam();
    std::vector<FindPortState> states = States(c.szStates);
    LONG lIndex = -1;
    EXPECT_EQ(DecideFind(states.data(), (LONG)states.size(), c.bCancelled ? TRUE : FALSE, &lIndex), c.outcome);
    EXPECT_EQ(lIndex, c.lIndex) << "the index is written on kFindFound only";
}

INSTANTIATE_TEST_SUITE_P(Cases, DecisionTest, ::testing::ValuesIn(kDecisions),
                         [](const ::testing::TestParamInfo<DecisionCase> &info) {
                             return std::string(info.param.szName);
                         });

// A search told port by port as the probes finish: the step at which the answer becomes
// known, and which it is.
struct FinishOrderCase {
    const char *szName;
    std::vector<std::pair<int, char>> finishes; // (port index, 's' or 'a'), in order
    size_t nKnownAfter;                         // how many finishes it takes
    FindOutcome outcome;
    LONG lIndex;
};

void PrintTo(const FinishOrderCase &c, std::ostream *os) { *os << c.szName; }

const FinishOrderCase kOrders[] = {
    {"Com1ModemFirstStopsAtOnce", {{0, 'a'}, {1, 's'}, {2, 's'}, {3, 's'}}, 1, kFindFound, 0},
    {"Com3ModemWaitsForCom1AndCom2", {{2, 'a'}, {1, 's'}, {0, 's'}, {3, 's'}}, 3, kFindFound, 2},
    {"Com3ModemBeforeASlowCom1", {{2, 'a'}, {3, 's'}, {1, 's'}, {0, 's'}}, 4, kFindFound, 2},
    {"Com2ModemAfterCom1Silent", {{0, 's'}, {1, 'a'}, {2, 's'}, {3, 's'}}, 2, kFindFound, 1},
    {"TwoModemsTheLowerWins", {{3, 'a'}, {1, 'a'}, {0, 's'}, {2, 's'}}, 3, kFindFound, 1},
    {"FourSilentInAnyOrder", {{2, 's'}, {0, 's'}, {3, 's'}, {1, 's'}}, 4, kFindNone, -1},
    {"OpenFailuresCountAsSilent", {{0, 's'}, {1, 's'}, {2, 's'}, {3, 'a'}}, 4, kFindFound, 3},
};

class FinishOrderTest : public ::testing::TestWithParam<FinishOrderCase> {};

TEST_P(FinishOrderTest, AnswerIsKnownAsSoonAsEveryLowerPortHasFinished)
{
    const FinishOrderCase &c = GetParam();
    std::vector<FindPortState> states = States("pppp");
    for (size_t i = 0; i < c.finishes.size(); ++i) {
        states[c.finishes[i].first] = c.finishes[i].second == 'a' ? kFindPortAnswered : kFindPortSilent;
        LONG lIndex = -1;
        FindOutcome outcome = DecideFind(states.data(), 4, FALSE, &lIndex);
        if (i + 1 < c.nKnownAfter) {
            ASSERT_EQ(outcome, kFindUndecided) << "after finish " << i + 1;
        } else {
            EXPECT_EQ(outcome, c.outcome) << "after finish " << i + 1;
            EXPECT_EQ(lIndex, c.lIndex);
            return;
        }
    }
    ADD_FAILURE() << "never decided";
}

INSTANTIATE_TEST_SUITE_P(Orders, FinishOrderTest, ::testing::ValuesIn(kOrders),
                         [](const ::testing::TestParamInfo<FinishOrderCase> &info) {
                             return std::string(info.param.szName);
                         });

struct StartCase {
    const char *szName;
    const char *szStates;
    bool bInTurn;
    LONG lNext;
};

void PrintTo(const StartCase &c, std::ostream *os) { *os << c.szName; }

const StartCase kStarts[] = {
    {"AllAtOnceStartsTheFirstWaiting", "wwww", false, 0},
    {"AllAtOnceStartsTheNextWhileOthersProbe", "ppww", false, 2},
    {"AllAtOnceNothingLeft", "pppp", false, -1},
    {"InTurnStartsCom1", "wwww", true, 0},
    {"InTurnWaitsForTheProbingPort", "swpw", true, -1},
    {"InTurnStartsTheNextAfterSilence", "ssww", true, 2},
    {"InTurnNeverStartsAPortAfterTheAnswer", "saww", true, -1},
    {"AllAtOnceNeverStartsAPortAfterTheAnswer", "aww", false, -1},
    {"InTurnNothingLeft", "ssss", true, -1},
};

class StartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartTest, StartsOnlyThePortsTheModeAllows)
{
    const StartCase &c = GetParam();
    std::vector<FindPortState> states = States(c.szStates);
    EXPECT_EQ(NextPortToStart(states.data(), (LONG)states.size(), c.bInTurn ? TRUE : FALSE), c.lNext);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartTest, ::testing::ValuesIn(kStarts),
                         [](const ::testing::TestParamInfo<StartCase> &info) {
                             return std::string(info.param.szName);
                         });

} // namespace
