// The help viewer's one window: the help picture, and the link label in its lower right
// corner that starts the other build.
#pragma once

#include "FormSettings.h"
#include "win32/win32.h"

#include <string>
#include <vector>

namespace helpview {

class HelpForm {
public:
    // `traceEvents` prints each event's name on standard output, for scripted runs.
    HelpForm(const FormSettings& settings, bool traceEvents);
    ~HelpForm();
    HelpForm(const HelpForm&) = delete;
    HelpForm& operator=(const HelpForm&) = delete;

    // Creates and shows the window; false when it cannot be made.
    bool create();
    HWND window() const { return m_form; }

    // The five events of the form and its label.
    void Form_MouseMove();
    void Label1_MouseMove();
    void Label1_MouseDown();
    void Label1_MouseUp();
    void Label1_Click();

private:
    static LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK labelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void paintForm(HDC dc);
    void paintLabel(HDC dc);
    SIZE pictureSize() const;
    // Both paint the client area's part from (offsetX, offsetY) or `origin` at the DC's 0, 0.
    void drawPicture(HDC dc, int offsetX, int offsetY, int width, int height);
    void fillUncovered(HDC dc, const RECT& area, POINT origin);
    void setLabel(int backStyle, const std::string& caption);
    void trace(const char* event) const;

    FormSettings m_settings;
    HWND m_form = nullptr;
    HWND m_label = nullptr;
    HICON m_icon = nullptr;
    HCURSOR m_cursor = nullptr;
    HFONT m_font = nullptr;
    std::vector<BYTE> m_picture; // packed DIB: header, then rows
    RECT m_labelRect{};
    int m_backStyle = 0;   // 0 transparent, 1 opaque
    std::string m_caption; // empty as built
    COLORREF m_foreColour = RGB(0, 0, 255);
    bool m_traceEvents = false;
};

} // namespace helpview
