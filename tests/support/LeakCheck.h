// Fails the test when it ends with more (or fewer) live global blocks than it began with.
#pragma once

#include "winplat/accounting.h"

#include <gtest/gtest.h>

namespace testing_support {

class LeakCheck {
public:
    LeakCheck() : m_before(winplatLiveGlobalBlocks()) {}
    ~LeakCheck() { EXPECT_EQ(winplatLiveGlobalBlocks(), m_before) << "global blocks leaked"; }

private:
    std::size_t m_before;
};

// A fixture whose every test is leak-checked, with allocation failure disarmed afterwards.
class LeakCheckedTest : public ::testing::Test {
protected:
    void TearDown() override { winplatFailGlobalAllocAt(0); }

private:
    LeakCheck m_check;
};

} // namespace testing_support
