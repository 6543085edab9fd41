#include "CColourPicker.h"

#include <algorithm>
#include <vector>

namespace {

// Special cells of the palette.
constexpr int kCustomBox = -2;
constexpr int kDefaultBox = -3;
constexpr int kNoCell = -1;

struct NamedColour {
    COLORREF colour;
    LPCSTR name;
};

const NamedColour kColours[40] = {
    {RGB(0, 0, 0), "Black"},
    {RGB(165, 42, 0), "Brown"},
    {RGB(0, 64, 64), "Dark Olive Green"},
    {RGB(0, 85, 0), "Dark Green"},
    {RGB(0, 0, 94), "Dark Teal"},
    {RGB(0, 0, 139), "Dark blue"},
    {RGB(75, 0, 130), "Indigo"},
    {RGB(40, 40, 40), "Dark grey"},
    {RGB(139, 0, 0), "Dark red"},
    {RGB(255, 104, 32), "Orange"},
    {RGB(139, 139, 0), "Dark yellow"},
    {RGB(0, 147, 0), "Green"},
    {RGB(56, 142, 142), "Teal"},
    {RGB(0, 0, 255), "Blue"},
    {RGB(123, 123, 192), "Blue-grey"},
    {RGB(102, 102, 102), "Grey - 40"},
    {RGB(255, 0, 0), "Red"},
    {RGB(255, 173, 91), "Light orange"},
    {RGB(50, 205, 50), "Lime"},
    {RGB(60, 179, 113), "Sea green"},
    {RGB(127, 255, 212), "Aqua"},
    {RGB(125, 158, 192), "Light blue"},
    {RGB(128, 0, 128), "Violet"},
    {RGB(127, 127, 127), "Grey - 50"},
    {RGB(255, 192, 203), "Pink"},
    {RGB(255, 215, 0), "Gold"},
    {RGB(255, 255, 0), "Yellow"},
    {RGB(0, 255, 0), "Bright green"},
    {RGB(64, 224, 208), "Turquoise"},
    {RGB(192, 255, 255), "Skyblue"},
    {RGB(72, 0, 72), "Plum"},
    {RGB(192, 192, 192), "Light grey"},
    {RGB(255, 228, 225), "Rose"},
    {RGB(210, 180, 140), "Tan"},
    {RGB(255, 255, 224), "Light yellow"},
    {RGB(152, 251, 152), "Pale green "},
    {RGB(175, 238, 238), "Pale turquoise"},
    {RGB(104, 131, 139), "Pale blue"},
    {RGB(230, 230, 250), "Lavender"},
    {RGB(255, 255, 255), "White"},
};

constexpr LPCSTR kPaletteClass = "GallimoColourPalette";

bool registerPaletteClass() {
    WNDCLASSA wc{};
    if (GetClassInfoA(nullptr, kPaletteClass, &wc)) return true;
    wc.style = CS_CLASSDC | CS_SAVEBITS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hCursor = nullptr;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kPaletteClass;
    return RegisterClassA(&wc) != 0;
}

void fillSolid(CDC* dc, const RECT& r, int colourIndex) {
    dc->FillSolidRect(&r, GetSysColor(colourIndex));
}

} // namespace

void DDX_ColourPicker(CDataExchange* pDX, int nIDC, COLORREF& crColour) {
    HWND control = pDX->PrepareCtrl(nIDC);
    auto* picker = dynamic_cast<CColourPicker*>(CWnd::FromHandlePermanent(control));
    // Only a control the dialog has bound to a picker takes part.
    if (picker == nullptr) pDX->Fail();
    if (pDX->m_bSaveAndValidate)
        crColour = picker->GetColour();
    else
        picker->SetColour(crColour);
}

IMPLEMENT_DYNCREATE(CColourPicker, CButton)

BEGIN_MESSAGE_MAP(CColourPicker, CButton)
ON_CONTROL_REFLECT(BN_CLICKED, OnClicked)
ON_WM_CREATE()
ON_MESSAGE(WM_COLOUR_SELENDOK, OnSelEndOK)
ON_MESSAGE(WM_COLOUR_SELENDCANCEL, OnSelEndCancel)
ON_MESSAGE(WM_COLOUR_SELCHANGE, OnSelChange)
END_MESSAGE_MAP()

CColourPicker::CColourPicker()
    : m_paletteOpen(FALSE), m_colour(GetSysColor(COLOR_BTNFACE)),
      m_textColour(GetSysColor(COLOR_BTNTEXT)), m_defaultText("Automatic"),
      m_customText("More Colours...") {}

CColourPicker::~CColourPicker() = default;

void CColourPicker::SetColour(COLORREF colour) {
    m_colour = colour;
    if (::IsWindow(m_hWnd))
        RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
}

void CColourPicker::SetTextColour(COLORREF colour) {
    m_textColour = colour;
    if (::IsWindow(m_hWnd))
        RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
}

void CColourPicker::PreSubclassWindow() {
    ModifyStyle(0, BS_OWNERDRAW);
    CButton::PreSubclassWindow();
    SetWindowSize();
}

int CColourPicker::OnCreate(LPCREATESTRUCT cs) {
    const int result = CButton::OnCreate(cs);
    if (result == -1) return -1;
    SetWindowSize();
    return result;
}

void CColourPicker::SetWindowSize() {
    const int cxEdge = GetSystemMetrics(SM_CXEDGE), cyEdge = GetSystemMetrics(SM_CYEDGE);
    const int s = std::max(std::max(5 * cxEdge, GetSystemMetrics(SM_CXHTHUMB)),
                           std::max(5 * cyEdge, GetSystemMetrics(SM_CYVTHUMB)));
    CRect rect;
    GetWindowRect(&rect);
    if (CWnd* parent = GetParent()) parent->ScreenToClient(&rect);
    const int width = std::max<int>(rect.Width(), 2 * (s + cxEdge));
    MoveWindow(rect.left, rect.top, width, s + 2 * cyEdge);
    GetClientRect(&rect);
    m_arrowRect.SetRect(rect.right - s - cxEdge, cyEdge, rect.right - cxEdge, rect.bottom - cyEdge);
}

void CColourPicker::DrawItem(LPDRAWITEMSTRUCT item) {
    CDC* dc = CDC::FromHandle(item->hDC);
    CRect rect = item->rcItem;
    UINT state = item->itemState;
    if (m_paletteOpen) state |= ODS_SELECTED;
    const bool disabled = (state & ODS_DISABLED) != 0;

    UINT arrowState = DFCS_SCROLLDOWN;
    if ((state & ODS_SELECTED) != 0) arrowState |= DFCS_PUSHED;
    if (disabled) arrowState |= DFCS_INACTIVE;
    CRect arrow = m_arrowRect;
    ::DrawFrameControl(*dc, &arrow, DFC_SCROLL, arrowState);

    ::DrawEdge(*dc, &rect, EDGE_SUNKEN, BF_RECT);
    rect.DeflateRect(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE));
    rect.right -= m_arrowRect.Width();

    CBrush brush(disabled || m_colour == CLR_DEFAULT ? GetSysColor(COLOR_BTNFACE) : m_colour);
    CBrush* oldBrush = dc->SelectObject(&brush);
    CGdiObject* oldPen = dc->SelectStockObject(NULL_PEN);
    dc->Rectangle(&rect);
    dc->SelectObject(oldPen);
    dc->SelectObject(oldBrush);

    CString text;
    GetWindowText(text);
    if (!text.IsEmpty()) {
        dc->SetBkMode(TRANSPARENT);
        const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        if (disabled) {
            CRect shadow = rect;
            shadow.OffsetRect(1, 1);
            dc->SetTextColor(GetSysColor(COLOR_3DHILIGHT));
            dc->DrawText(text, &shadow, format);
            dc->SetTextColor(GetSysColor(COLOR_3DSHADOW));
        } else {
            dc->SetTextColor(m_colour == CLR_DEFAULT ? RGB(0, 0, 0) : m_textColour);
        }
        dc->DrawText(text, &rect, format);
    }

    if ((state & ODS_FOCUS) != 0) {
        rect.DeflateRect(1, 1);
        dc->DrawFocusRect(&rect);
    }
}

void CColourPicker::OnClicked() {
    m_paletteOpen = TRUE;
    CRect rect;
    GetWindowRect(&rect);
    auto* palette = new CColourPaletteWnd;
    if (!palette->Create(CPoint(rect.left, rect.bottom), GetColour(), this, m_defaultText,
                         m_customText)) {
        // Without a palette nothing will ever report back: the button must not stay pressed.
        delete palette;
        m_paletteOpen = FALSE;
        Invalidate();
        return;
    }
    TellParent(WM_COLOUR_DROPDOWN, GetColour());
}

void CColourPicker::TellParent(UINT message, COLORREF colour) {
    CWnd* parent = GetParent();
    if (parent != nullptr) parent->SendMessage(message, colour, GetDlgCtrlID());
}

LRESULT CColourPicker::OnSelEndOK(WPARAM wParam, LPARAM) {
    const auto colour = static_cast<COLORREF>(wParam);
    m_paletteOpen = FALSE;
    SetColour(colour);
    TellParent(WM_COLOUR_CLOSEUP, colour);
    TellParent(WM_COLOUR_SELENDOK, colour);
    return TRUE;
}

LRESULT CColourPicker::OnSelEndCancel(WPARAM wParam, LPARAM) {
    const auto colour = static_cast<COLORREF>(wParam);
    m_paletteOpen = FALSE;
    SetColour(colour);
    TellParent(WM_COLOUR_CLOSEUP, colour);
    TellParent(WM_COLOUR_SELENDCANCEL, colour);
    return TRUE;
}

LRESULT CColourPicker::OnSelChange(WPARAM wParam, LPARAM) {
    TellParent(WM_COLOUR_SELCHANGE, static_cast<COLORREF>(wParam));
    return TRUE;
}

BEGIN_MESSAGE_MAP(CColourPaletteWnd, CWnd)
ON_WM_NCDESTROY()
ON_WM_LBUTTONUP()
ON_WM_PAINT()
ON_WM_MOUSEMOVE()
ON_WM_KEYDOWN()
ON_WM_QUERYNEWPALETTE()
ON_WM_PALETTECHANGED()
ON_WM_KILLFOCUS()
ON_WM_ACTIVATEAPP()
END_MESSAGE_MAP()

CColourPaletteWnd::CColourPaletteWnd()
    : m_colourCount(40), m_columns(0), m_rows(0), m_boxSize(18),
      m_margin(GetSystemMetrics(SM_CXEDGE)), m_current(kNoCell), m_chosen(kNoCell),
      m_initialColour(CLR_DEFAULT), m_colour(CLR_DEFAULT), m_picker(nullptr),
      m_colourDialogOpen(FALSE) {
    if (m_boxSize - 2 * m_margin - 2 < 5) m_boxSize = 2 * m_margin + 7;
}

CColourPaletteWnd::~CColourPaletteWnd() {
    m_font.DeleteObject();
    m_palette.DeleteObject();
}

COLORREF CColourPaletteWnd::GetTableColour(int index) {
    return index >= 0 && index < 40 ? kColours[index].colour : CLR_DEFAULT;
}

LPCSTR CColourPaletteWnd::GetTableName(int index) {
    return index >= 0 && index < 40 ? kColours[index].name : "";
}

BOOL CColourPaletteWnd::Create(CPoint topLeft, COLORREF colour, CColourPicker* picker,
                               LPCSTR defaultText, LPCSTR customText) {
    if (picker == nullptr || !registerPaletteClass()) return FALSE;
    m_picker = picker;
    m_initialColour = m_colour = colour;
    m_defaultText = defaultText;
    m_customText = customText;
    if (!CreateEx(0, kPaletteClass, "", WS_VISIBLE | WS_POPUP, topLeft.x, topLeft.y, 100, 100,
                  picker->GetSafeHwnd(), nullptr))
        return FALSE;

    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    m_font.CreateFontIndirect(&metrics.lfMessageFont);

    std::vector<BYTE> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * m_colourCount);
    auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(m_colourCount);
    for (int i = 0; i < m_colourCount; ++i) {
        const COLORREF c = GetTableColour(i);
        logical->palPalEntry[i] = PALETTEENTRY{GetRValue(c), GetGValue(c), GetBValue(c), 0};
    }
    m_palette.CreatePalette(logical);

    SetWindowSize();
    CreateToolTips();
    FindChosenCell(colour);
    SetCapture();
    return TRUE;
}

void CColourPaletteWnd::SetWindowSize() {
    const int m = m_margin, b = m_boxSize;
    m_columns = 8;
    m_rows = m_colourCount / m_columns + (m_colourCount % m_columns != 0 ? 1 : 0);
    int textWidth = 0, boxHeight = 0;
    if (!m_defaultText.IsEmpty() || !m_customText.IsEmpty()) {
        CClientDC dc(this);
        CFont* old = dc.SelectObject(&m_font);
        const CSize a = dc.GetTextExtent(m_defaultText), c = dc.GetTextExtent(m_customText);
        dc.SelectObject(old);
        textWidth = std::max(a.cx, c.cx) + 2 * m;
        boxHeight = std::max(a.cy, c.cy) + 4 * m + 2;
    }
    CRect window;
    GetWindowRect(&window);
    window.right = window.left + m_columns * b + 2 * m;
    window.bottom = window.top + m_rows * b + 2 * m;
    if (!m_defaultText.IsEmpty()) {
        window.right = std::max<LONG>(window.right, window.left + textWidth);
        m_defaultBox.SetRect(m, m, window.Width() - m, boxHeight + 2 * m);
        window.bottom += boxHeight + 3 * m;
    }
    if (!m_customText.IsEmpty()) {
        window.right = std::max<LONG>(window.right, window.left + textWidth);
        const int top = window.Height();
        m_customBox.SetRect(m, top, window.Width() - m, top + m + boxHeight);
        window.bottom += boxHeight + 3 * m;
    }
    // Held on the screen; a palette that would pass the bottom opens above its button.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (window.right > screenWidth) window.OffsetRect(screenWidth - window.right, 0);
    if (window.left < 0) window.OffsetRect(-window.left, 0);
    if (window.bottom > screenHeight) {
        CRect button;
        m_picker->GetWindowRect(&button);
        window.OffsetRect(0, -(window.Height() + button.Height()));
    }
    m_window = window;
    MoveWindow(&window, TRUE);
}

void CColourPaletteWnd::CreateToolTips() {
    if (!m_tooltips.Create(this)) return;
    for (int i = 0; i < m_colourCount; ++i) {
        CRect cell = GetCellRect(i);
        m_tooltips.AddTool(this, GetTableName(i), &cell, 1);
    }
}

void CColourPaletteWnd::FindChosenCell(COLORREF colour) {
    if (colour == CLR_DEFAULT && !m_defaultText.IsEmpty()) {
        m_chosen = kDefaultBox;
        return;
    }
    for (int i = 0; i < m_colourCount; ++i) {
        if (GetTableColour(i) == colour) {
            m_chosen = i;
            return;
        }
    }
    m_chosen = !m_customText.IsEmpty() ? kCustomBox : kNoCell;
}

CRect CColourPaletteWnd::GetCellRect(int index) const {
    if (index == kCustomBox) return m_customBox;
    if (index == kDefaultBox) return m_defaultBox;
    const int left = (index % m_columns) * m_boxSize + m_margin;
    int top = (index / m_columns) * m_boxSize + m_margin;
    if (!m_defaultText.IsEmpty()) top += m_defaultBox.bottom + m_margin - m_defaultBox.top;
    return CRect(left, top, left + m_boxSize, top + m_boxSize);
}

BOOL CColourPaletteWnd::PreTranslateMessage(MSG* msg) {
    m_tooltips.RelayEvent(msg);
    // A palette that lost the capture takes it back, so that a click anywhere still ends it.
    if (CWnd::GetCapture() == nullptr || CWnd::GetCapture()->GetSafeHwnd() != m_hWnd) SetCapture();
    return CWnd::PreTranslateMessage(msg);
}

void CColourPaletteWnd::OnNcDestroy() {
    CWnd::OnNcDestroy();
    delete this;
}

void CColourPaletteWnd::OnPaint() {
    CPaintDC dc(this);
    if (!m_defaultText.IsEmpty()) DrawCell(&dc, kDefaultBox);
    for (int i = 0; i < m_colourCount; ++i)
        DrawCell(&dc, i);
    if (!m_customText.IsEmpty()) DrawCell(&dc, kCustomBox);
    CRect client;
    GetClientRect(&client);
    ::DrawEdge(dc, &client, EDGE_RAISED, BF_RECT);
}

void CColourPaletteWnd::DrawCell(CDC* dc, int index) {
    if (index == kNoCell) return;
    if (index == kDefaultBox || index == kCustomBox) {
        DrawTextBox(dc, index);
        return;
    }
    CPalette* oldPalette = nullptr;
    const bool paletteDevice = (dc->GetDeviceCaps(RASTERCAPS) & RC_PALETTE) != 0;
    if (paletteDevice && m_palette.GetSafeHandle() != nullptr) {
        oldPalette = dc->SelectPalette(&m_palette, FALSE);
        dc->RealizePalette();
    }
    CRect rect = GetCellRect(index);
    fillSolid(dc, rect, m_chosen == index && m_current != index ? COLOR_3DHILIGHT : COLOR_3DFACE);
    if (m_current == index)
        ::DrawEdge(*dc, &rect, BDR_RAISEDINNER, BF_RECT);
    else if (m_chosen == index)
        ::DrawEdge(*dc, &rect, BDR_SUNKENOUTER, BF_RECT);

    const COLORREF c = GetTableColour(index);
    CBrush brush(PALETTERGB(GetRValue(c), GetGValue(c), GetBValue(c)));
    CPen pen(PS_SOLID, 1, GetSysColor(COLOR_3DSHADOW));
    CBrush* oldBrush = dc->SelectObject(&brush);
    CPen* oldPen = dc->SelectObject(&pen);
    rect.DeflateRect(m_margin + 1, m_margin + 1);
    dc->Rectangle(&rect);
    dc->SelectObject(oldBrush);
    dc->SelectObject(oldPen);
    if (oldPalette != nullptr) dc->SelectPalette(oldPalette, FALSE);
}

void CColourPaletteWnd::DrawTextBox(CDC* dc, int index) {
    const bool custom = index == kCustomBox;
    CRect rect = GetCellRect(index);
    if (custom) {
        CRect strip = rect;
        strip.top += 2 * m_margin;
        fillSolid(dc, strip, COLOR_3DFACE);
        const int width = rect.Width() - 4 * m_margin;
        dc->FillSolidRect(rect.left + 2 * m_margin, rect.top, width, 1,
                          GetSysColor(COLOR_3DSHADOW));
        dc->FillSolidRect(rect.left + 2 * m_margin, rect.top + 1, width, 1,
                          GetSysColor(COLOR_3DHILIGHT));
        rect = strip;
    } else {
        fillSolid(dc, rect, COLOR_3DFACE);
    }
    rect.DeflateRect(1, 1);
    fillSolid(dc, rect, m_chosen == index && m_current != index ? COLOR_3DLIGHT : COLOR_3DFACE);
    if (!custom) {
        CRect outline = rect;
        outline.DeflateRect(2 * m_margin, 2 * m_margin);
        CPen pen(PS_SOLID, 1, GetSysColor(COLOR_3DSHADOW));
        CPen* oldPen = dc->SelectObject(&pen);
        CGdiObject* oldBrush = dc->SelectStockObject(NULL_BRUSH);
        dc->Rectangle(&outline);
        dc->SelectObject(oldBrush);
        dc->SelectObject(oldPen);
    }
    if (m_current == index)
        ::DrawEdge(*dc, &rect, BDR_RAISEDINNER, BF_RECT);
    else if (m_chosen == index)
        ::DrawEdge(*dc, &rect, BDR_SUNKENOUTER, BF_RECT);
    CFont* oldFont = dc->SelectObject(&m_font);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(GetSysColor(COLOR_BTNTEXT));
    dc->DrawText(custom ? m_customText : m_defaultText, &rect,
                 DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    dc->SelectObject(oldFont);
}

void CColourPaletteWnd::OnMouseMove(UINT flags, CPoint point) {
    point.Offset(-m_margin, -m_margin);
    int found = kNoCell;
    if (!m_customText.IsEmpty() && m_customBox.PtInRect(point)) {
        found = kCustomBox;
    } else if (!m_defaultText.IsEmpty() && m_defaultBox.PtInRect(point)) {
        found = kDefaultBox;
    } else {
        if (!m_defaultText.IsEmpty()) point.y -= m_defaultBox.Height();
        const int row = point.y / m_boxSize, column = point.x / m_boxSize;
        const int index = row * m_columns + column;
        if (row < 0 || row >= m_rows || column < 0 || column >= m_columns ||
            index >= m_colourCount) {
            CWnd::OnMouseMove(flags, point);
            return;
        }
        found = index;
    }
    if (found != m_current) ChangeSelection(found);
    CWnd::OnMouseMove(flags, point);
}

void CColourPaletteWnd::ChangeSelection(int index) {
    CClientDC dc(this);
    if (m_current != kNoCell) {
        const int old = m_current;
        m_current = kNoCell;
        DrawCell(&dc, old);
    }
    m_current = index;
    DrawCell(&dc, m_current);
    if (m_current == kCustomBox) {
        m_picker->SendMessage(WM_COLOUR_SELCHANGE, m_initialColour, 0);
        return;
    }
    m_colour = m_current == kDefaultBox ? CLR_DEFAULT : GetTableColour(m_current);
    m_picker->SendMessage(WM_COLOUR_SELCHANGE, m_colour, 0);
}

int CColourPaletteWnd::NextCell(UINT key) const {
    const bool hasDefault = !m_defaultText.IsEmpty(), hasCustom = !m_customText.IsEmpty();
    const int last = m_colourCount - 1;
    // Down and Right go on past the end; Up and Left go back past the start.
    const int forward = hasCustom ? kCustomBox : hasDefault ? kDefaultBox : 0;
    const int backward = hasDefault ? kDefaultBox : hasCustom ? kCustomBox : last;
    const bool ahead = key == VK_DOWN || key == VK_RIGHT;
    if (m_current == kNoCell) return ahead ? forward : backward;
    if (m_current == kDefaultBox) return ahead ? 0 : (hasCustom ? kCustomBox : last);
    if (m_current == kCustomBox) return ahead ? (hasDefault ? kDefaultBox : 0) : last;
    const int row = m_current / m_columns, column = m_current % m_columns;
    int next = kNoCell;
    switch (key) {
    case VK_DOWN:
        next = m_current + m_columns;
        return next <= last ? next : forward;
    case VK_UP:
        return row > 0 ? m_current - m_columns : backward;
    case VK_RIGHT:
        next = column < m_columns - 1 ? m_current + 1 : (row + 1) * m_columns;
        return next <= last ? next : forward;
    default: // VK_LEFT
        if (column > 0) return m_current - 1;
        return row > 0 ? (row - 1) * m_columns + m_columns - 1 : backward;
    }
}

void CColourPaletteWnd::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (key == VK_DOWN || key == VK_UP || key == VK_LEFT || key == VK_RIGHT) {
        ChangeSelection(NextCell(key));
        CWnd::OnKeyDown(key, repeat, flags);
        return;
    }
    if (key == VK_ESCAPE) {
        m_colour = m_initialColour;
        EndSelection(WM_COLOUR_SELENDCANCEL);
        return;
    }
    if (key == VK_RETURN || key == VK_SPACE) {
        EndSelection(WM_COLOUR_SELENDOK);
        return;
    }
    CWnd::OnKeyDown(key, repeat, flags);
}

void CColourPaletteWnd::OnLButtonUp(UINT flags, CPoint point) {
    CWnd::OnLButtonUp(flags, point);
    const DWORD pos = GetMessagePos();
    const CPoint at(static_cast<SHORT>(LOWORD(pos)), static_cast<SHORT>(HIWORD(pos)));
    EndSelection(m_window.PtInRect(at) ? WM_COLOUR_SELENDOK : WM_COLOUR_SELENDCANCEL);
}

void CColourPaletteWnd::EndSelection(UINT message) {
    ReleaseCapture();
    if (message == WM_COLOUR_SELENDOK && m_current == kCustomBox) {
        m_colourDialogOpen = TRUE;
        CColorDialog dialog(m_initialColour, CC_FULLOPEN | CC_ANYCOLOR, this);
        if (dialog.DoModal() == IDOK)
            m_colour = dialog.GetColor();
        else
            message = WM_COLOUR_SELENDCANCEL;
        m_colourDialogOpen = FALSE;
    }
    if (message == WM_COLOUR_SELENDCANCEL) m_colour = m_initialColour;
    m_picker->SendMessage(message, m_colour, 0);
    if (!m_colourDialogOpen) DestroyWindow();
}

BOOL CColourPaletteWnd::OnQueryNewPalette() {
    Invalidate();
    return CWnd::OnQueryNewPalette();
}

void CColourPaletteWnd::OnPaletteChanged(CWnd* focusWnd) {
    CWnd::OnPaletteChanged(focusWnd);
    if (focusWnd == nullptr || focusWnd->GetSafeHwnd() != m_hWnd) Invalidate();
}

void CColourPaletteWnd::OnKillFocus(CWnd* newWnd) {
    CWnd::OnKillFocus(newWnd);
    ReleaseCapture();
}

void CColourPaletteWnd::OnActivateApp(BOOL active, DWORD threadId) {
    CWnd::OnActivateApp(active, threadId);
    if (!active) EndSelection(WM_COLOUR_SELENDCANCEL);
}
