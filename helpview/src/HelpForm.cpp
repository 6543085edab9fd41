#include "HelpForm.h"

#include "PixelArt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace helpview {
namespace {

constexpr char kFormClass[] = "HelpViewForm";
constexpr char kLabelClass[] = "HelpViewLink";

int pixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

HelpForm* formOf(HWND hwnd) {
    return reinterpret_cast<HelpForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// The form's top-level window, not resizable, with its caption and close box.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

} // namespace

HelpForm::HelpForm(const FormSettings& settings, bool traceEvents)
    : m_settings(settings), m_traceEvents(traceEvents) {}

HelpForm::~HelpForm() {
    if (m_form != nullptr && IsWindow(m_form)) DestroyWindow(m_form);
    if (m_font != nullptr) DeleteObject(m_font);
    if (m_cursor != nullptr) DestroyCursor(m_cursor);
    if (m_icon != nullptr) DestroyIcon(m_icon);
}

bool HelpForm::create() {
    if (HRSRC found = FindResourceA(nullptr, "HELP", "PICTURE")) {
        const auto* file = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
        const DWORD size = SizeofResource(nullptr, found);
        if (size > sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))
            m_picture.assign(file + sizeof(BITMAPFILEHEADER), file + size);
    }
    m_icon = iconFromArt("ICON");
    m_cursor = iconFromArt("CURSOR");

    LOGFONTA font{};
    font.lfHeight = -13; // 9.75 points at 96 dots per inch
    font.lfWeight = 700;
    font.lfUnderline = 1;
    font.lfCharSet = 204;
    std::strcpy(font.lfFaceName, "MS Sans Serif");
    m_font = CreateFontIndirectA(&font);

    WNDCLASSA form{};
    form.lpfnWndProc = formProc;
    form.hInstance = GetModuleHandleA(nullptr);
    form.hIcon = m_icon;
    form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    form.lpszClassName = kFormClass;
    WNDCLASSA label{};
    label.lpfnWndProc = labelProc;
    label.hInstance = form.hInstance;
    label.hCursor = m_cursor;
    label.lpszClassName = kLabelClass;
    RegisterClassA(&form);
    RegisterClassA(&label);

    const int clientWidth = pixels(m_settings.clientWidth);
    const int clientHeight = pixels(m_settings.clientHeight);
    m_form = CreateWindowExA(0, kFormClass, m_settings.caption.c_str(), kFormStyle, 120, 80,
                             clientWidth, clientHeight, nullptr, nullptr, form.hInstance, this);
    if (m_form == nullptr) return false;
    // Grow the window by its frame so that the client area has the form's size.
    RECT outer, inner;
    GetWindowRect(m_form, &outer);
    GetClientRect(m_form, &inner);
    MoveWindow(m_form, outer.left, outer.top, 2 * clientWidth - inner.right,
               2 * clientHeight - inner.bottom, FALSE);
    m_labelRect = RECT{pixels(m_settings.labelLeft), pixels(m_settings.labelTop),
                       pixels(m_settings.labelLeft + m_settings.labelWidth),
                       pixels(m_settings.labelTop + m_settings.labelHeight)};
    m_label = CreateWindowExA(0, kLabelClass, "", WS_CHILD | WS_VISIBLE, m_labelRect.left,
                              m_labelRect.top, m_labelRect.right - m_labelRect.left,
                              m_labelRect.bottom - m_labelRect.top, m_form, nullptr, form.hInstance,
                              this);
    ShowWindow(m_form, SW_SHOWNORMAL);
    UpdateWindow(m_form);
    return true;
}

LRESULT CALLBACK HelpForm::formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    HelpForm* self = formOf(hwnd);
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        // The picture is drawn over the rest when the form paints.
        if (self != nullptr) self->fillUncovered(reinterpret_cast<HDC>(wParam), client, POINT{});
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self != nullptr) self->paintForm(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (self != nullptr) self->Form_MouseMove();
        return 0;
    case WM_DESTROY:
        if (self != nullptr) self->m_form = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK HelpForm::labelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    HelpForm* self = formOf(hwnd);
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        self->paintLabel(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
        self->Label1_MouseMove();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        SetCapture(hwnd);
        self->Label1_MouseDown();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        if (GetCapture() == hwnd) ReleaseCapture();
        self->Label1_MouseUp();
        RECT client;
        GetClientRect(hwnd, &client);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool inside = at.x >= client.left && at.x < client.right && at.y >= client.top &&
                            at.y < client.bottom;
        // The click closes the window, so nothing of this label may be touched after it.
        if (inside && message == WM_LBUTTONUP) self->Label1_Click();
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

SIZE HelpForm::pictureSize() const {
    if (m_picture.size() < sizeof(BITMAPINFOHEADER)) return SIZE{};
    BITMAPINFOHEADER header;
    std::memcpy(&header, m_picture.data(), sizeof header);
    return SIZE{header.biWidth, header.biHeight};
}

void HelpForm::drawPicture(HDC dc, int offsetX, int offsetY, int width, int height) {
    const SIZE picture = pictureSize();
    // Only the picture's own pixels: what lies beyond it shows the form's background.
    width = std::min(width, static_cast<int>(picture.cx) - offsetX);
    height = std::min(height, static_cast<int>(picture.cy) - offsetY);
    if (width <= 0 || height <= 0) return;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(m_picture.data());
    const BYTE* bits = m_picture.data() + info->bmiHeader.biSize;
    // Rows are stored bottom-up: source y counts from the bottom.
    StretchDIBits(dc, 0, 0, width, height, offsetX, picture.cy - offsetY - height, width, height,
                  bits, info, DIB_RGB_COLORS, SRCCOPY);
}

void HelpForm::fillUncovered(HDC dc, const RECT& area, POINT origin) {
    const SIZE picture = pictureSize();
    // The picture lies at the top-left corner: a strip to its right and one below it.
    const RECT strips[] = {
        {std::max(area.left, picture.cx), area.top, area.right, area.bottom},
        {area.left, std::max(area.top, picture.cy), std::min(area.right, picture.cx), area.bottom},
    };
    for (RECT strip : strips) {
        if (strip.left >= strip.right || strip.top >= strip.bottom) continue;
        strip = RECT{strip.left - origin.x, strip.top - origin.y, strip.right - origin.x,
                     strip.bottom - origin.y};
        FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
    }
}

void HelpForm::paintForm(HDC dc) {
    RECT client;
    GetClientRect(m_form, &client);
    drawPicture(dc, 0, 0, client.right, client.bottom);
}

void HelpForm::paintLabel(HDC dc) {
    RECT client;
    GetClientRect(m_label, &client);
    if (m_backStyle == 1) {
        HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_CAPTIONTEXT));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    } else {
        // Transparent: the form under the label shows through.
        fillUncovered(dc, m_labelRect, POINT{m_labelRect.left, m_labelRect.top});
        drawPicture(dc, m_labelRect.left, m_labelRect.top, client.right, client.bottom);
    }
    HGDIOBJ oldFont = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, m_foreColour);
    DrawTextA(dc, m_caption.c_str(), -1, &client, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void HelpForm::setLabel(int backStyle, const std::string& caption) {
    if (backStyle == m_backStyle && caption == m_caption) return;
    m_backStyle = backStyle;
    m_caption = caption;
    InvalidateRect(m_label, nullptr, TRUE);
}

void HelpForm::trace(const char* event) const {
    if (m_traceEvents) std::printf("%s\n", event), std::fflush(stdout);
}

void HelpForm::Form_MouseMove() {
    trace("Form_MouseMove");
    setLabel(0, " ");
}

void HelpForm::Label1_MouseMove() {
    trace("Label1_MouseMove");
    setLabel(1, m_settings.linkCaption);
}

void HelpForm::Label1_MouseDown() {
    trace("Label1_MouseDown");
    m_foreColour = 0xFF00FF;
    InvalidateRect(m_label, nullptr, TRUE);
}

void HelpForm::Label1_MouseUp() {
    trace("Label1_MouseUp");
    m_foreColour = 0x0000FF;
    InvalidateRect(m_label, nullptr, TRUE);
}

void HelpForm::Label1_Click() {
    trace("Label1_Click");
    // Whatever the start gives, the window closes: a missing build is not reported.
    ShellExecuteA(m_form, "open", m_settings.target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    DestroyWindow(m_form);
}

} // namespace helpview
