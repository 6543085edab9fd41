#include "InputSteps.h"

#include "winplat/input.h"

#include <cctype>

namespace testing_support {

InputSteps::InputSteps(std::vector<Step> steps) : m_steps(std::move(steps)) {
    winplatSetInputFeeder(&InputSteps::feed, this);
}

InputSteps::~InputSteps() {
    winplatSetInputFeeder(nullptr, nullptr);
}

BOOL InputSteps::feed(void* self) {
    auto* steps = static_cast<InputSteps*>(self);
    if (steps->finished()) return FALSE;
    steps->m_steps[steps->m_next++]();
    // A step that injected nothing still lets the loop look again.
    if (winplatPendingInput() == 0) PostMessageA(nullptr, WM_NULL, 0, 0);
    return TRUE;
}

POINT centreOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void clickWindow(HWND hwnd) {
    const POINT p = centreOf(hwnd);
    winplatInjectMouseMove(p.x, p.y);
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x, p.y);
    // Two clicks in a row on one window are not a double-click here.
    winplatAdvanceInputClock(1000);
}

void clickAt(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    winplatInjectMouseMove(p.x, p.y);
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x, p.y);
    winplatAdvanceInputClock(1000);
}

void moveTo(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    winplatInjectMouseMove(p.x, p.y);
}

void pressKey(UINT vk, UINT modifier) {
    if (modifier != 0) winplatInjectKey(modifier, TRUE);
    winplatInjectKey(vk, TRUE);
    winplatInjectKey(vk, FALSE);
    if (modifier != 0) winplatInjectKey(modifier, FALSE);
}

void typeText(const std::string& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isdigit(u))
            pressKey(u);
        else if (std::islower(u))
            pressKey(static_cast<UINT>(std::toupper(u)));
        else if (std::isupper(u))
            pressKey(u, VK_SHIFT);
        else if (c == ' ')
            pressKey(VK_SPACE);
        else if (c == '\b')
            pressKey(VK_BACK);
    }
}

std::string windowText(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

void dropQuit() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

} // namespace testing_support
