// The page as a window: the parent of every object's window, at the top-left of the screen.
#pragma once

#include "Page.h"

namespace qvhost {

class PageWindow {
public:
    PageWindow(Page& page, int width, int height);
    ~PageWindow();
    PageWindow(const PageWindow&) = delete;
    PageWindow& operator=(const PageWindow&) = delete;

    HWND handle() const { return m_window; }

    // Places every object at design or at run time in the page.
    void placeObjects(bool design);
    // Runs the message loop until the input runs out or the page is closed.
    void run();
    bool saveScreenshot(const std::string& path) const;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Page& m_page;
    HWND m_window = nullptr;
};

} // namespace qvhost
