// Fails the test when it ends with a different number of live windows or image lists than it
// began with, and a fixture that also checks GDI objects and global blocks.
#pragma once

#include "GdiCheck.h"
#include "win32/user.h"
#include "winplat/accounting.h"
#include "winplat/input.h"

#include <gtest/gtest.h>

namespace testing_support {

class WindowCheck {
public:
    WindowCheck() : m_windows(winplatLiveWindows()), m_imageLists(winplatLiveImageLists()) {}
    ~WindowCheck() {
        EXPECT_EQ(winplatLiveWindows(), m_windows) << "windows leaked";
        EXPECT_EQ(winplatLiveImageLists(), m_imageLists) << "image lists leaked";
    }

private:
    std::size_t m_windows;
    std::size_t m_imageLists;
};

class WindowLeakCheckedTest : public GdiLeakCheckedTest {
protected:
    // The screen was just reset under the windows: they paint it again, the desktop first.
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        InvalidateRect(nullptr, nullptr, TRUE);
        winplatPumpMessages();
    }
    // Whatever a test left queued is taken out before the next one starts.
    void TearDown() override {
        winplatPumpMessages();
        GdiLeakCheckedTest::TearDown();
    }

private:
    WindowCheck m_windows;
};

} // namespace testing_support
