// The window of a thumbnail list: a list view in icon mode whose items point at the owner's
// item records, and which turns the user's actions into the owner's four events.
#pragma once

#include "CThumbItem.h"
#include "mfc/mfc.h"
#include "win32/win32.h"

class CGallimoObject;

class CThumbsListCtrl : public CListCtrl {
    DECLARE_DYNCREATE(CThumbsListCtrl)
public:
    CThumbsListCtrl();
    ~CThumbsListCtrl() override;

    void Refill();
    int InsertThumb(CThumbItem* item, int index);
    void SortByLabel();
    void CheckSelectionChange();

    CGallimoObject* m_owner;
    CDWordArray m_selection;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT cs);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnKeyUp(UINT key, UINT repeat, UINT flags);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnRButtonDown(UINT flags, CPoint point);
    afx_msg void OnRButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnBeginDrag(NMHDR* header, LRESULT* result);
    void OnButtonDown();

    DECLARE_MESSAGE_MAP()
};
