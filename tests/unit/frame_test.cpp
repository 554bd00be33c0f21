// The entry handler accepts every loader notification and does nothing else.
#include <gtest/gtest.h>

#include "fake_fixture.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

class DllMainTest : public FakePlatformTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(DllMainTest, AcceptsNotificationWithoutCallingThePlatform)
{
    EXPECT_EQ(DllMain(nullptr, GetParam(), nullptr), TRUE);
    EXPECT_TRUE(fake::Calls().empty()) << ::testing::PrintToString(fake::Calls());
    EXPECT_EQ(fake::AllocCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Notifications, DllMainTest,
                         ::testing::Values(DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH,
                                           DLL_PROCESS_DETACH));
