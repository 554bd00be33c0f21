// Base fixture for unit tests on the Win32 test double: starts every test from a fresh
// machine and fails any test that leaves a handle open or a heap block unreleased.
#ifndef TVR_TEST_FAKE_FIXTURE_H
#define TVR_TEST_FAKE_FIXTURE_H

#include <gtest/gtest.h>

#include "fake_platform.h"

class FakePlatformTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(fake::OpenHandleCount(), 0u)
            << "handles left open: " << ::testing::PrintToString(fake::OpenHandleNames());
        EXPECT_EQ(fake::LiveBlocks(), 0u) << "heap blocks left unreleased";
    }
};

#endif // TVR_TEST_FAKE_FIXTURE_H
