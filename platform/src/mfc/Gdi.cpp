// MFC's DCs and drawing objects over the GDI stand-in.
#include "mfc/HandleMap.h"
#include "mfc/app.h"

namespace {

using DcMap = winplat::mfc::HandleMap<HDC, CDC>;
using ObjectMap = winplat::mfc::HandleMap<HGDIOBJ, CGdiObject>;

DcMap& dcMap() {
    static auto* m = new DcMap([](CDC* dc) { dc->m_hDC = nullptr; });
    return *m;
}

ObjectMap& objectMap() {
    static auto* m = new ObjectMap([](CGdiObject* o) { o->m_hObject = nullptr; });
    return *m;
}

// Temporary wrappers are of the class that matches the object's kind.
CRuntimeClass* wrapperClass(HGDIOBJ handle) {
    switch (GetObjectType(handle)) {
    case OBJ_PEN:
        return RUNTIME_CLASS(CPen);
    case OBJ_BRUSH:
        return RUNTIME_CLASS(CBrush);
    case OBJ_FONT:
        return RUNTIME_CLASS(CFont);
    case OBJ_PAL:
        return RUNTIME_CLASS(CPalette);
    case OBJ_BITMAP:
        return RUNTIME_CLASS(CBitmap);
    default:
        return RUNTIME_CLASS(CGdiObject);
    }
}

CGdiObject* newWrapper(const CRuntimeClass* cls) {
    if (cls == RUNTIME_CLASS(CPen)) return new CPen;
    if (cls == RUNTIME_CLASS(CBrush)) return new CBrush;
    if (cls == RUNTIME_CLASS(CFont)) return new CFont;
    if (cls == RUNTIME_CLASS(CPalette)) return new CPalette;
    if (cls == RUNTIME_CLASS(CBitmap)) return new CBitmap;
    return new CGdiObject;
}

template <class T> T* typedTemporary(HGDIOBJ handle) {
    return static_cast<T*>(CGdiObject::FromHandle(handle));
}

} // namespace

IMPLEMENT_DYNCREATE(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CPalette, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNCREATE(CDC, CObject)

CGdiObject::~CGdiObject() {
    DeleteObject();
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ handle) {
    if (handle == nullptr) return nullptr;
    if (CGdiObject* o = objectMap().permanent(handle)) return o;
    // A handle value can come back for an object of another kind once the first is deleted.
    CRuntimeClass* cls = wrapperClass(handle);
    CGdiObject* o = objectMap().temporary(handle);
    if (o != nullptr && o->GetRuntimeClass() == cls) return o;
    o = newWrapper(cls);
    o->m_hObject = handle;
    return objectMap().addTemporary(handle, o);
}

void CGdiObject::DeleteTempMap() {
    objectMap().deleteTemporaries();
}

BOOL CGdiObject::Attach(HGDIOBJ handle) {
    if (handle == nullptr || m_hObject != nullptr) return FALSE;
    if (!objectMap().attach(handle, this)) return FALSE;
    m_hObject = handle;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ handle = m_hObject;
    if (handle != nullptr) objectMap().detach(handle, this);
    m_hObject = nullptr;
    return handle;
}

BOOL CGdiObject::DeleteObject() {
    if (m_hObject == nullptr) return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int index) {
    return Attach(GetStockObject(index));
}

int CGdiObject::GetObject(int bytes, LPVOID buffer) const {
    return GetObjectA(m_hObject, bytes, buffer);
}

CPen::CPen(int style, int width, COLORREF colour) {
    CreatePen(style, width, colour);
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
    return Attach(::CreatePen(style, width, colour));
}

CPen* CPen::FromHandle(HPEN pen) {
    return typedTemporary<CPen>(pen);
}

CBrush::CBrush(COLORREF colour) {
    CreateSolidBrush(colour);
}

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
    return Attach(::CreateSolidBrush(colour));
}

BOOL CBrush::CreateSysColorBrush(int index) {
    return Attach(::GetSysColorBrush(index));
}

CBrush* CBrush::FromHandle(HBRUSH brush) {
    return typedTemporary<CBrush>(brush);
}

BOOL CFont::CreateFontIndirect(const LOGFONTA* font) {
    return Attach(::CreateFontIndirectA(font));
}

BOOL CFont::CreatePointFont(int pointSize, LPCSTR faceName, CDC* dc) {
    LOGFONTA font{};
    HDC screen = dc != nullptr ? nullptr : ::GetDC(nullptr);
    int dpi = GetDeviceCaps(dc != nullptr ? dc->m_hDC : screen, LOGPIXELSY);
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    font.lfHeight = -((pointSize * dpi + 360) / 720);
    font.lfWeight = FW_NORMAL;
    if (faceName != nullptr) {
        for (int i = 0; i < LF_FACESIZE - 1 && faceName[i] != '\0'; ++i)
            font.lfFaceName[i] = faceName[i];
    }
    return CreateFontIndirect(&font);
}

int CFont::GetLogFont(LOGFONTA* font) const {
    return GetObjectA(m_hObject, sizeof(LOGFONTA), font);
}

CFont* CFont::FromHandle(HFONT font) {
    return typedTemporary<CFont>(font);
}

BOOL CPalette::CreatePalette(const LOGPALETTE* palette) {
    return Attach(::CreatePalette(palette));
}

UINT CPalette::GetPaletteEntries(UINT start, UINT count, PALETTEENTRY* entries) const {
    return ::GetPaletteEntries(static_cast<HPALETTE>(m_hObject), start, count, entries);
}

int CPalette::GetEntryCount() const {
    return static_cast<int>(::GetPaletteEntries(static_cast<HPALETTE>(m_hObject), 0, 0, nullptr));
}

CPalette* CPalette::FromHandle(HPALETTE palette) {
    return typedTemporary<CPalette>(palette);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    return Attach(::CreateCompatibleBitmap(dc != nullptr ? dc->m_hDC : nullptr, width, height));
}

int CBitmap::GetBitmap(BITMAP* info) const {
    return GetObjectA(m_hObject, sizeof(BITMAP), info);
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap) {
    return typedTemporary<CBitmap>(bitmap);
}

CDC::~CDC() {
    if (m_hDC != nullptr) DeleteDC();
}

CDC* CDC::FromHandle(HDC dc) {
    if (dc == nullptr) return nullptr;
    if (CDC* d = dcMap().permanent(dc)) return d;
    if (CDC* d = dcMap().temporary(dc)) return d;
    auto* d = new CDC;
    d->m_hDC = dc;
    return dcMap().addTemporary(dc, d);
}

void CDC::DeleteTempMap() {
    dcMap().deleteTemporaries();
}

BOOL CDC::Attach(HDC dc) {
    if (dc == nullptr || m_hDC != nullptr) return FALSE;
    if (!dcMap().attach(dc, this)) return FALSE;
    m_hDC = dc;
    return TRUE;
}

HDC CDC::Detach() {
    HDC dc = m_hDC;
    if (dc != nullptr) dcMap().detach(dc, this);
    m_hDC = nullptr;
    return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    return Attach(::CreateCompatibleDC(dc != nullptr ? dc->m_hDC : nullptr));
}

BOOL CDC::DeleteDC() {
    if (m_hDC == nullptr) return FALSE;
    return ::DeleteDC(Detach());
}

CGdiObject* CDC::SelectStockObject(int index) {
    return CGdiObject::FromHandle(::SelectObject(m_hDC, GetStockObject(index)));
}

CPen* CDC::SelectObject(CPen* pen) {
    return typedTemporary<CPen>(::SelectObject(m_hDC, pen != nullptr ? pen->m_hObject : nullptr));
}

CBrush* CDC::SelectObject(CBrush* brush) {
    return typedTemporary<CBrush>(
        ::SelectObject(m_hDC, brush != nullptr ? brush->m_hObject : nullptr));
}

CFont* CDC::SelectObject(CFont* font) {
    return typedTemporary<CFont>(
        ::SelectObject(m_hDC, font != nullptr ? font->m_hObject : nullptr));
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return typedTemporary<CBitmap>(
        ::SelectObject(m_hDC, bitmap != nullptr ? bitmap->m_hObject : nullptr));
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    return CGdiObject::FromHandle(
        ::SelectObject(m_hDC, object != nullptr ? object->m_hObject : nullptr));
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
    return ::SelectObject(m_hDC, object);
}

CPalette* CDC::SelectPalette(CPalette* palette, BOOL background) {
    return CPalette::FromHandle(::SelectPalette(
        m_hDC, palette != nullptr ? static_cast<HPALETTE>(palette->m_hObject) : nullptr,
        background));
}

UINT CDC::RealizePalette() {
    return ::RealizePalette(m_hDC);
}

int CDC::GetDeviceCaps(int index) const {
    return ::GetDeviceCaps(m_hDC, index);
}
int CDC::SetBkMode(int mode) {
    return ::SetBkMode(m_hDC, mode);
}
COLORREF CDC::SetBkColor(COLORREF colour) {
    return ::SetBkColor(m_hDC, colour);
}
COLORREF CDC::GetBkColor() const {
    return ::GetBkColor(m_hDC);
}
COLORREF CDC::SetTextColor(COLORREF colour) {
    return ::SetTextColor(m_hDC, colour);
}
COLORREF CDC::GetTextColor() const {
    return ::GetTextColor(m_hDC);
}

void CDC::FillSolidRect(const RECT* rect, COLORREF colour) {
    if (rect == nullptr) return;
    ::SetBkColor(m_hDC, colour);
    ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour) {
    RECT r{x, y, x + width, y + height};
    FillSolidRect(&r, colour);
}

void CDC::FillRect(const RECT* rect, CBrush* brush) {
    if (brush != nullptr) ::FillRect(m_hDC, rect, static_cast<HBRUSH>(brush->m_hObject));
}

void CDC::FrameRect(const RECT* rect, CBrush* brush) {
    if (brush != nullptr) ::FrameRect(m_hDC, rect, static_cast<HBRUSH>(brush->m_hObject));
}

BOOL CDC::Rectangle(int left, int top, int right, int bottom) {
    return ::Rectangle(m_hDC, left, top, right, bottom);
}

BOOL CDC::Rectangle(const RECT* rect) {
    return rect != nullptr ? ::Rectangle(m_hDC, rect->left, rect->top, rect->right, rect->bottom)
                           : FALSE;
}

CPoint CDC::MoveTo(int x, int y) {
    POINT previous{0, 0};
    ::MoveToEx(m_hDC, x, y, &previous);
    return CPoint(previous);
}

BOOL CDC::LineTo(int x, int y) {
    return ::LineTo(m_hDC, x, y);
}
COLORREF CDC::GetPixel(int x, int y) const {
    return ::GetPixel(m_hDC, x, y);
}
COLORREF CDC::SetPixel(int x, int y, COLORREF colour) {
    return ::SetPixel(m_hDC, x, y, colour);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int srcX, int srcY, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source != nullptr ? source->m_hDC : nullptr, srcX,
                    srcY, rop);
}

void CDC::DrawFocusRect(const RECT* rect) {
    ::DrawFocusRect(m_hDC, rect);
}

BOOL CDC::TextOut(int x, int y, LPCSTR text, int length) {
    return ::TextOutA(m_hDC, x, y, text, length);
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
    return ::TextOutA(m_hDC, x, y, text, text.GetLength());
}

int CDC::DrawText(LPCSTR text, int length, RECT* rect, UINT format) {
    return ::DrawTextA(m_hDC, text, length, rect, format);
}

int CDC::DrawText(const CString& text, RECT* rect, UINT format) {
    return ::DrawTextA(m_hDC, text, text.GetLength(), rect, format);
}

CSize CDC::GetTextExtent(LPCSTR text, int length) const {
    SIZE s{0, 0};
    ::GetTextExtentPoint32A(m_hDC, text, length, &s);
    return CSize(s);
}

CSize CDC::GetTextExtent(const CString& text) const {
    return GetTextExtent(text, text.GetLength());
}

BOOL CDC::GetTextMetrics(TEXTMETRICA* metrics) const {
    return ::GetTextMetricsA(m_hDC, metrics);
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->m_hWnd : nullptr) {
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC() {
    HDC dc = Detach();
    if (dc != nullptr) ::ReleaseDC(m_hWnd, dc);
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->m_hWnd : nullptr) {
    Attach(::GetWindowDC(m_hWnd));
}

CWindowDC::~CWindowDC() {
    HDC dc = Detach();
    if (dc != nullptr) ::ReleaseDC(m_hWnd, dc);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_ps{}, m_hWnd(wnd != nullptr ? wnd->m_hWnd : nullptr) {
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC() {
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
}
