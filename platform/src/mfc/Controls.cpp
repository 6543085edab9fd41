// CImageList and CListCtrl over comctl32.
#include "mfc/controls.h"
#include "mfc/HandleMap.h"

#include <vector>

namespace {

using ImageListMap = winplat::mfc::HandleMap<HIMAGELIST, CImageList>;

ImageListMap& imageListMap() {
    static auto* m = new ImageListMap([](CImageList* l) { l->m_hImageList = nullptr; });
    return *m;
}

} // namespace

IMPLEMENT_DYNCREATE(CImageList, CObject)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

CImageList::~CImageList() {
    DeleteImageList();
}

CImageList* CImageList::FromHandle(HIMAGELIST list) {
    if (list == nullptr) return nullptr;
    if (CImageList* l = imageListMap().permanent(list)) return l;
    if (CImageList* l = imageListMap().temporary(list)) return l;
    auto* l = new CImageList;
    l->m_hImageList = list;
    return imageListMap().addTemporary(list, l);
}

void CImageList::DeleteTempMap() {
    imageListMap().deleteTemporaries();
}

BOOL CImageList::Attach(HIMAGELIST list) {
    if (list == nullptr || m_hImageList != nullptr) return FALSE;
    if (!imageListMap().attach(list, this)) return FALSE;
    m_hImageList = list;
    return TRUE;
}

HIMAGELIST CImageList::Detach() {
    HIMAGELIST list = m_hImageList;
    if (list != nullptr) imageListMap().detach(list, this);
    m_hImageList = nullptr;
    return list;
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    return Attach(ImageList_Create(cx, cy, flags, initial, grow));
}

BOOL CImageList::DeleteImageList() {
    if (m_hImageList == nullptr) return FALSE;
    return ImageList_Destroy(Detach());
}

int CImageList::GetImageCount() const {
    return ImageList_GetImageCount(m_hImageList);
}

BOOL CImageList::GetImageInfo(int image, IMAGEINFO* info) const {
    return ImageList_GetImageInfo(m_hImageList, image, info);
}

int CImageList::Add(CBitmap* bitmap, CBitmap* mask) {
    return ImageList_Add(m_hImageList, bitmap != nullptr ? static_cast<HBITMAP>(*bitmap) : nullptr,
                         mask != nullptr ? static_cast<HBITMAP>(*mask) : nullptr);
}

int CImageList::Add(CBitmap* bitmap, COLORREF maskColour) {
    return ImageList_AddMasked(
        m_hImageList, bitmap != nullptr ? static_cast<HBITMAP>(*bitmap) : nullptr, maskColour);
}

BOOL CImageList::Remove(int image) {
    return ImageList_Remove(m_hImageList, image);
}

BOOL CImageList::Draw(CDC* dc, int image, POINT at, UINT style) {
    return dc != nullptr ? ImageList_Draw(m_hImageList, image, dc->m_hDC, at.x, at.y, style)
                         : FALSE;
}

COLORREF CImageList::SetBkColor(COLORREF colour) {
    return ImageList_SetBkColor(m_hImageList, colour);
}

COLORREF CImageList::GetBkColor() const {
    return ImageList_GetBkColor(m_hImageList);
}

namespace {

LRESULT send(const CListCtrl* list, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageA(list->m_hWnd, message, wParam, lParam);
}

template <class T> LPARAM address(T* p) {
    return reinterpret_cast<LPARAM>(p);
}

} // namespace

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_LISTVIEWA, nullptr, style, rect, parent, id);
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(send(this, LVM_GETITEMCOUNT));
}

BOOL CListCtrl::GetItem(LVITEMA* item) const {
    return static_cast<BOOL>(send(this, LVM_GETITEMA, 0, address(item)));
}

BOOL CListCtrl::SetItem(const LVITEMA* item) {
    return static_cast<BOOL>(send(this, LVM_SETITEMA, 0, address(item)));
}

BOOL CListCtrl::SetItem(int item, int subItem, UINT mask, LPCSTR text, int image, UINT state,
                        UINT stateMask, LPARAM param) {
    LVITEMA lvi{};
    lvi.mask = mask;
    lvi.iItem = item;
    lvi.iSubItem = subItem;
    lvi.state = state;
    lvi.stateMask = stateMask;
    lvi.pszText = const_cast<LPSTR>(text);
    lvi.iImage = image;
    lvi.lParam = param;
    return SetItem(&lvi);
}

int CListCtrl::InsertItem(const LVITEMA* item) {
    return static_cast<int>(send(this, LVM_INSERTITEMA, 0, address(item)));
}

int CListCtrl::InsertItem(int item, LPCSTR text) {
    return InsertItem(LVIF_TEXT, item, text, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(int item, LPCSTR text, int image) {
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, item, text, 0, 0, image, 0);
}

int CListCtrl::InsertItem(UINT mask, int item, LPCSTR text, UINT state, UINT stateMask, int image,
                          LPARAM param) {
    LVITEMA lvi{};
    lvi.mask = mask;
    lvi.iItem = item;
    lvi.state = state;
    lvi.stateMask = stateMask;
    lvi.pszText = const_cast<LPSTR>(text);
    lvi.iImage = image;
    lvi.lParam = param;
    return InsertItem(&lvi);
}

BOOL CListCtrl::DeleteItem(int item) {
    return static_cast<BOOL>(send(this, LVM_DELETEITEM, static_cast<WPARAM>(item)));
}

BOOL CListCtrl::DeleteAllItems() {
    return static_cast<BOOL>(send(this, LVM_DELETEALLITEMS));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const {
    return static_cast<UINT>(send(this, LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMA lvi{};
    lvi.state = state;
    lvi.stateMask = mask;
    return SetItemState(item, &lvi);
}

BOOL CListCtrl::SetItemState(int item, LVITEMA* lvi) {
    return static_cast<BOOL>(send(this, LVM_SETITEMSTATE, static_cast<WPARAM>(item), address(lvi)));
}

int CListCtrl::GetItemText(int item, int subItem, LPSTR buffer, int size) const {
    LVITEMA lvi{};
    lvi.iSubItem = subItem;
    lvi.pszText = buffer;
    lvi.cchTextMax = size;
    return static_cast<int>(send(this, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), address(&lvi)));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
    // The buffer grows until the text no longer fills it.
    for (int size = 256;; size *= 2) {
        std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
        int n = GetItemText(item, subItem, buffer.data(), size);
        if (n < size - 1 || size >= (1 << 24)) return CString(buffer.data());
    }
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCSTR text) {
    LVITEMA lvi{};
    lvi.iSubItem = subItem;
    lvi.pszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(
        send(this, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), address(&lvi)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMA lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    return GetItem(&lvi) ? static_cast<DWORD_PTR>(lvi.lParam) : 0;
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    return SetItem(item, 0, LVIF_PARAM, nullptr, 0, 0, 0, static_cast<LPARAM>(data));
}

int CListCtrl::GetNextItem(int item, int flags) const {
    return static_cast<int>(send(this, LVM_GETNEXTITEM, static_cast<WPARAM>(item), flags));
}

// A position is the selected item's index plus one, so that null means none.
POSITION CListCtrl::GetFirstSelectedItemPosition() const {
    int first = GetNextItem(-1, LVNI_SELECTED);
    return reinterpret_cast<POSITION>(static_cast<INT_PTR>(first + 1));
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
    int item = static_cast<int>(reinterpret_cast<INT_PTR>(pos)) - 1;
    int next = GetNextItem(item, LVNI_SELECTED);
    pos = reinterpret_cast<POSITION>(static_cast<INT_PTR>(next + 1));
    return item;
}

UINT CListCtrl::GetSelectedCount() const {
    return static_cast<UINT>(send(this, LVM_GETSELECTEDCOUNT));
}
int CListCtrl::GetSelectionMark() const {
    return static_cast<int>(send(this, LVM_GETSELECTIONMARK));
}

int CListCtrl::SetSelectionMark(int item) {
    return static_cast<int>(send(this, LVM_SETSELECTIONMARK, 0, item));
}

BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
    return static_cast<BOOL>(
        send(this, LVM_SORTITEMS, static_cast<WPARAM>(data), reinterpret_cast<LPARAM>(compare)));
}

CImageList* CListCtrl::SetImageList(CImageList* list, int which) {
    LRESULT old = send(this, LVM_SETIMAGELIST, static_cast<WPARAM>(which),
                       reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr));
    return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(old));
}

CImageList* CListCtrl::GetImageList(int which) const {
    return CImageList::FromHandle(
        reinterpret_cast<HIMAGELIST>(send(this, LVM_GETIMAGELIST, static_cast<WPARAM>(which))));
}

CSize CListCtrl::SetIconSpacing(int cx, int cy) {
    LRESULT old =
        send(this, LVM_SETICONSPACING, 0, MAKELPARAM(static_cast<WORD>(cx), static_cast<WORD>(cy)));
    return CSize(LOWORD(old), HIWORD(old));
}

CSize CListCtrl::SetIconSpacing(CSize size) {
    return SetIconSpacing(size.cx, size.cy);
}

COLORREF CListCtrl::GetBkColor() const {
    return static_cast<COLORREF>(send(this, LVM_GETBKCOLOR));
}

BOOL CListCtrl::SetBkColor(COLORREF colour) {
    return static_cast<BOOL>(send(this, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(colour)));
}

BOOL CListCtrl::Update(int item) {
    return static_cast<BOOL>(send(this, LVM_UPDATE, static_cast<WPARAM>(item)));
}

BOOL CListCtrl::RedrawItems(int first, int last) {
    return static_cast<BOOL>(send(this, LVM_REDRAWITEMS, static_cast<WPARAM>(first), last));
}

BOOL CListCtrl::Arrange(UINT code) {
    return static_cast<BOOL>(send(this, LVM_ARRANGE, code));
}
int CListCtrl::GetTopIndex() const {
    return static_cast<int>(send(this, LVM_GETTOPINDEX));
}
int CListCtrl::GetCountPerPage() const {
    return static_cast<int>(send(this, LVM_GETCOUNTPERPAGE));
}

BOOL CListCtrl::GetItemRect(int item, RECT* rect, UINT code) const {
    if (rect == nullptr) return FALSE;
    rect->left = static_cast<LONG>(code);
    return static_cast<BOOL>(send(this, LVM_GETITEMRECT, static_cast<WPARAM>(item), address(rect)));
}

BOOL CListCtrl::GetItemPosition(int item, POINT* point) const {
    return static_cast<BOOL>(
        send(this, LVM_GETITEMPOSITION, static_cast<WPARAM>(item), address(point)));
}

BOOL CListCtrl::GetOrigin(POINT* point) const {
    return static_cast<BOOL>(send(this, LVM_GETORIGIN, 0, address(point)));
}

int CListCtrl::HitTest(CPoint point, UINT* flags) const {
    LVHITTESTINFO info{point, 0, -1, 0};
    int item = HitTest(&info);
    if (flags != nullptr) *flags = info.flags;
    return item;
}

int CListCtrl::HitTest(LVHITTESTINFO* info) const {
    return static_cast<int>(send(this, LVM_HITTEST, 0, address(info)));
}

BOOL CListCtrl::EnsureVisible(int item, BOOL partialOK) {
    return static_cast<BOOL>(send(this, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOK));
}

BOOL CListCtrl::Scroll(CSize size) {
    return static_cast<BOOL>(send(this, LVM_SCROLL, static_cast<WPARAM>(size.cx), size.cy));
}
