// Fails the test when it ends with a different number of live GDI objects of any kind than
// it began with, and a fixture that also checks global blocks and starts and ends every test
// on the default black true-colour screen.
#pragma once

#include "LeakCheck.h"
#include "winplat/screen.h"

#include <array>
#include <gtest/gtest.h>

namespace testing_support {

class GdiCheck {
public:
    GdiCheck() {
        for (int k = 0; k < kKinds; ++k)
            m_before[k] = winplatLiveGdiObjects(k + 1);
    }
    ~GdiCheck() {
        static const char* const names[kKinds] = {"bitmaps", "DCs",      "pens",    "brushes",
                                                  "fonts",   "palettes", "regions", "metafiles"};
        for (int k = 0; k < kKinds; ++k)
            EXPECT_EQ(winplatLiveGdiObjects(k + 1), m_before[k]) << names[k] << " leaked";
    }

private:
    static constexpr int kKinds = WINPLAT_GDI_METAFILES;
    std::array<std::size_t, kKinds> m_before{};
};

class GdiLeakCheckedTest : public LeakCheckedTest {
protected:
    void SetUp() override { winplatResetScreen(RGB(0, 0, 0)); }
    void TearDown() override {
        LeakCheckedTest::TearDown();
        winplatResetScreen(RGB(0, 0, 0));
    }

private:
    GdiCheck m_objects;
};

} // namespace testing_support
