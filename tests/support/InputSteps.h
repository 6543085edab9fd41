// Drives a program's own message loop (a modal dialog's, a message box's) from a test: each
// step runs when the loop has handled everything before it, painting included, and injects
// the next input. When the steps run out the loop gets WM_QUIT, as a headless queue does.
#pragma once

#include "win32/win32.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

class InputSteps {
public:
    using Step = std::function<void()>;
    explicit InputSteps(std::vector<Step> steps);
    ~InputSteps();
    InputSteps(const InputSteps&) = delete;
    InputSteps& operator=(const InputSteps&) = delete;

    std::size_t done() const { return m_next; }
    bool finished() const { return m_next >= m_steps.size(); }

private:
    static BOOL feed(void* self);
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
};

// Input at the screen: a click in the middle of a window or at a point of its client area,
// a key pressed and released (with Shift, Control or Alt held when asked), text typed.
void clickWindow(HWND hwnd);
void clickAt(HWND hwnd, int x, int y);
void moveTo(HWND hwnd, int x, int y);
void pressKey(UINT vk, UINT modifier = 0);
void typeText(const std::string& text);

// The middle of a window, on the screen.
POINT centreOf(HWND hwnd);
// A window's text.
std::string windowText(HWND hwnd);
// Takes away a WM_QUIT that a loop left for its caller, so that the next loop runs.
void dropQuit();

} // namespace testing_support
