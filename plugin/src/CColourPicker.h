// The colour button of the properties dialog and the pop-up palette it opens: 40 named colours,
// an "Automatic" box above them and a "More Colours..." box below them that opens the system
// colour dialog. The palette reports to its picker and the picker to its parent with the five
// messages below (wParam the colour; lParam 0 from the palette, the picker's id to the parent).
#pragma once

#include "mfc/mfc.h"

#define WM_COLOUR_SELCHANGE (WM_USER + 1001)
#define WM_COLOUR_DROPDOWN (WM_USER + 1002)
#define WM_COLOUR_CLOSEUP (WM_USER + 1003)
#define WM_COLOUR_SELENDOK (WM_USER + 1004)
#define WM_COLOUR_SELENDCANCEL (WM_USER + 1005)

#ifndef CLR_DEFAULT
#define CLR_DEFAULT 0xFF000000u
#endif

// Binds a picker of the dialog to a colour: the saving direction reads the picker's colour.
void DDX_ColourPicker(CDataExchange* pDX, int nIDC, COLORREF& crColour);

class CColourPicker : public CButton {
    DECLARE_DYNCREATE(CColourPicker)
public:
    CColourPicker();
    ~CColourPicker() override;

    COLORREF GetColour() const { return m_colour; }
    void SetColour(COLORREF colour);
    COLORREF GetTextColour() const { return m_textColour; }
    void SetTextColour(COLORREF colour);

protected:
    void PreSubclassWindow() override;
    void DrawItem(LPDRAWITEMSTRUCT item) override;

    afx_msg void OnClicked();
    afx_msg int OnCreate(LPCREATESTRUCT cs);
    afx_msg LRESULT OnSelEndOK(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSelEndCancel(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSelChange(WPARAM wParam, LPARAM lParam);

    // Keeps the button's place and width (at least two arrows wide) and gives it the height
    // of the arrow box; the arrow sits in the square at the right.
    void SetWindowSize();
    void TellParent(UINT message, COLORREF colour);

    BOOL m_paletteOpen;
    COLORREF m_colour;
    COLORREF m_textColour;
    CRect m_arrowRect;
    CString m_defaultText;
    CString m_customText;

    DECLARE_MESSAGE_MAP()
};

class CColourPaletteWnd : public CWnd {
public:
    CColourPaletteWnd();
    ~CColourPaletteWnd() override;

    using CWnd::Create;

    // Opens at `topLeft` (screen coordinates), showing `colour` as chosen; an empty text
    // leaves its box out. The window deletes its object when it is destroyed.
    BOOL Create(CPoint topLeft, COLORREF colour, CColourPicker* picker, LPCSTR defaultText,
                LPCSTR customText);
    BOOL PreTranslateMessage(MSG* msg) override;

    static COLORREF GetTableColour(int index);
    static LPCSTR GetTableName(int index);

protected:
    afx_msg void OnNcDestroy();
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnPaint();
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* focusWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg void OnActivateApp(BOOL active, DWORD threadId);

    void SetWindowSize();
    void CreateToolTips();
    void FindChosenCell(COLORREF colour);
    CRect GetCellRect(int index) const;
    void ChangeSelection(int index);
    void EndSelection(UINT message);
    void DrawCell(CDC* dc, int index);
    void DrawTextBox(CDC* dc, int index);
    int NextCell(UINT key) const;

    int m_colourCount;
    int m_columns;
    int m_rows;
    int m_boxSize;
    int m_margin;
    int m_current;
    int m_chosen;
    CString m_defaultText;
    CString m_customText;
    CRect m_customBox;
    CRect m_defaultBox;
    CRect m_window;
    CFont m_font;
    CPalette m_palette;
    COLORREF m_initialColour;
    COLORREF m_colour;
    CToolTipCtrl m_tooltips;
    CColourPicker* m_picker;
    BOOL m_colourDialogOpen;

    DECLARE_MESSAGE_MAP()
};
