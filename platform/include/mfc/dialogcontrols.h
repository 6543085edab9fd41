// MFC's control classes over the standard controls: CButton (owner-drawn buttons draw in
// DrawItem, which the parent's WM_DRAWITEM reaches by reflection), CSpinButtonCtrl and
// CToolTipCtrl.
#pragma once

#include "mfc/wnd.h"
#include "win32/commonctrls.h"
#include "win32/controls.h"

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    CButton() = default;

    using CWnd::Create;

    BOOL Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL highlight);
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);

    // Paints an owner-drawn button.
    virtual void DrawItem(LPDRAWITEMSTRUCT item);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CSpinButtonCtrl : public CWnd {
    DECLARE_DYNAMIC(CSpinButtonCtrl)
public:
    CSpinButtonCtrl() = default;

    using CWnd::Create;

    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int pos);
    int GetPos() const;
    CWnd* SetBuddy(CWnd* buddy);
    CWnd* GetBuddy() const;
};

class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    CToolTipCtrl() = default;

    using CWnd::Create;

    BOOL Create(CWnd* parent, DWORD style = 0);
    // A tool: a rectangle of `wnd` with its own id, or (no rectangle) the whole window.
    BOOL AddTool(CWnd* wnd, LPCSTR text, const RECT* rect = nullptr, UINT_PTR toolId = 0);
    void RelayEvent(MSG* msg);
    void Activate(BOOL activate);
    int GetToolCount() const;
};
