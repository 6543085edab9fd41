// CImageList and CListCtrl: MFC's wrappers of the image list and the list view.
#pragma once

#include "mfc/collections.h"
#include "mfc/wnd.h"
#include "win32/commctrl.h"

class CImageList : public CObject {
    DECLARE_DYNCREATE(CImageList)
public:
    CImageList() = default;
    ~CImageList() override;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    HIMAGELIST m_hImageList = nullptr;

    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    static CImageList* FromHandle(HIMAGELIST list);
    static void DeleteTempMap();
    BOOL Attach(HIMAGELIST list);
    HIMAGELIST Detach();

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    int GetImageCount() const;
    BOOL GetImageInfo(int image, IMAGEINFO* info) const;
    int Add(CBitmap* bitmap, CBitmap* mask);
    int Add(CBitmap* bitmap, COLORREF maskColour);
    BOOL Remove(int image);
    BOOL Draw(CDC* dc, int image, POINT at, UINT style);
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const;
};

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    CListCtrl() = default;

    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    int GetItemCount() const;
    BOOL GetItem(LVITEMA* item) const;
    BOOL SetItem(const LVITEMA* item);
    BOOL SetItem(int item, int subItem, UINT mask, LPCSTR text, int image, UINT state,
                 UINT stateMask, LPARAM param);
    int InsertItem(const LVITEMA* item);
    int InsertItem(int item, LPCSTR text);
    int InsertItem(int item, LPCSTR text, int image);
    int InsertItem(UINT mask, int item, LPCSTR text, UINT state, UINT stateMask, int image,
                   LPARAM param);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();

    UINT GetItemState(int item, UINT mask) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    BOOL SetItemState(int item, LVITEMA* item2);
    CString GetItemText(int item, int subItem) const;
    int GetItemText(int item, int subItem, LPSTR buffer, int size) const;
    BOOL SetItemText(int item, int subItem, LPCSTR text);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemData(int item, DWORD_PTR data);

    int GetNextItem(int item, int flags) const;
    POSITION GetFirstSelectedItemPosition() const;
    int GetNextSelectedItem(POSITION& pos) const;
    UINT GetSelectedCount() const;
    int GetSelectionMark() const;
    int SetSelectionMark(int item);
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data);

    CImageList* SetImageList(CImageList* list, int which);
    CImageList* GetImageList(int which) const;
    CSize SetIconSpacing(int cx, int cy);
    CSize SetIconSpacing(CSize size);
    COLORREF GetBkColor() const;
    BOOL SetBkColor(COLORREF colour);

    BOOL Update(int item);
    BOOL RedrawItems(int first, int last);
    BOOL Arrange(UINT code);
    int GetTopIndex() const;
    int GetCountPerPage() const;
    BOOL GetItemRect(int item, RECT* rect, UINT code) const;
    BOOL GetItemPosition(int item, POINT* point) const;
    BOOL GetOrigin(POINT* point) const;
    int HitTest(CPoint point, UINT* flags = nullptr) const;
    int HitTest(LVHITTESTINFO* info) const;
    BOOL EnsureVisible(int item, BOOL partialOK);
    BOOL Scroll(CSize size);
};
