#include "CPropertiesDlg.h"

#include "win32/win32.h"

namespace {

// The controls that only matter when thumbnails get a frame.
constexpr int kFrameControls[] = {5012, 5011, 5014, 5013, 5017, 5015, 5016};

} // namespace

BEGIN_MESSAGE_MAP(CPropertiesDlg, CDialog)
ON_BN_CLICKED(5010, EnableFrameControls)
ON_BN_CLICKED(3, OnHelpButton)
END_MESSAGE_MAP()

CPropertiesDlg::CPropertiesDlg(CWnd* parent)
    : CDialog(IDD, parent), m_windowBorder(-1), m_thumbHeight(0), m_horizontalSpacing(0),
      m_label(-1), m_multipleSelection(0), m_neverIncrease(0), m_resizeMode(-1), m_sortItems(0),
      m_showFrame(0), m_verticalSpacing(0), m_thumbWidth(0), m_minimumPadding(0),
      m_verticalLayout(0), m_borderColour(0), m_fillColour(0), m_backgroundColour(0) {}

void CPropertiesDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 5026, m_backgroundPicker);
    DDX_Control(pDX, 5001, m_widthSpin);
    DDX_Control(pDX, 5005, m_verticalSpacingSpin);
    DDX_Control(pDX, 5016, m_paddingSpin);
    DDX_Control(pDX, 5007, m_horizontalSpacingSpin);
    DDX_Control(pDX, 5003, m_heightSpin);
    DDX_Control(pDX, 5013, m_fillPicker);
    DDX_Control(pDX, 5011, m_borderPicker);
    DDX_CBIndex(pDX, 5009, m_windowBorder);
    DDX_Text(pDX, 5002, m_thumbHeight);
    DDX_Text(pDX, 5006, m_horizontalSpacing);
    DDX_CBIndex(pDX, 5008, m_label);
    DDX_Check(pDX, 5019, m_multipleSelection);
    DDX_Check(pDX, 5023, m_neverIncrease);
    DDX_CBIndex(pDX, 5022, m_resizeMode);
    DDX_Check(pDX, 5018, m_sortItems);
    DDX_Check(pDX, 5010, m_showFrame);
    DDX_Text(pDX, 5004, m_verticalSpacing);
    DDX_Text(pDX, 5000, m_thumbWidth);
    DDX_Text(pDX, 5015, m_minimumPadding);
    DDX_Check(pDX, 5024, m_verticalLayout);
    // The colours are COLORREF values kept in int fields of the same size.
    DDX_ColourPicker(pDX, 5011, reinterpret_cast<COLORREF&>(m_borderColour));
    DDX_ColourPicker(pDX, 5013, reinterpret_cast<COLORREF&>(m_fillColour));
    DDX_ColourPicker(pDX, 5026, reinterpret_cast<COLORREF&>(m_backgroundColour));
}

BOOL CPropertiesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    EnableFrameControls();
    m_borderPicker.SetWindowText("");
    m_fillPicker.SetWindowText("");
    m_backgroundPicker.SetWindowText("");
    m_widthSpin.SetRange(10, 2000);
    m_heightSpin.SetRange(10, 2000);
    m_verticalSpacingSpin.SetRange(0, 2000);
    m_paddingSpin.SetRange(0, 2000);
    m_horizontalSpacingSpin.SetRange(0, 2000);
    return TRUE;
}

void CPropertiesDlg::EnableFrameControls() {
    UpdateData(TRUE);
    // The box itself decides, so that the controls follow it even when another field of the
    // exchange could not be read.
    const BOOL enable = ::IsDlgButtonChecked(m_hWnd, 5010) == BST_CHECKED;
    for (int id : kFrameControls) {
        if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
    }
}

void CPropertiesDlg::OnHelpButton() {
    if (GetFileAttributesA(m_helpPath) == INVALID_FILE_ATTRIBUTES) return;
    ShellExecuteA(m_hWnd, "open", m_helpPath, nullptr, nullptr, SW_SHOWNORMAL);
}

namespace gallimo {

int EditProperties(GallimoProperties& p, const char* helpPath) {
    CPropertiesDlg dialog;
    dialog.m_thumbWidth = p.thumbWidth;
    dialog.m_thumbHeight = p.thumbHeight;
    dialog.m_verticalSpacing = p.verticalSpacing;
    dialog.m_horizontalSpacing = p.horizontalSpacing;
    dialog.m_label = p.labelMode;
    dialog.m_sortItems = p.sortItems;
    dialog.m_minimumPadding = p.minimumPadding;
    dialog.m_backgroundColour = static_cast<int>(p.backgroundColour);
    dialog.m_fillColour = static_cast<int>(p.fillColour);
    dialog.m_windowBorder = p.windowBorder;
    dialog.m_showFrame = p.showFrame;
    dialog.m_borderColour = static_cast<int>(p.frameColour);
    dialog.m_resizeMode = p.resizeMode;
    dialog.m_neverIncrease = p.neverIncrease;
    dialog.m_multipleSelection = p.multipleSelection;
    dialog.m_verticalLayout = p.verticalLayout;
    dialog.m_helpPath = helpPath != nullptr ? helpPath : "";
    if (dialog.DoModal() != IDOK) return 0;
    p.thumbWidth = dialog.m_thumbWidth;
    p.thumbHeight = dialog.m_thumbHeight;
    p.verticalSpacing = dialog.m_verticalSpacing;
    p.horizontalSpacing = dialog.m_horizontalSpacing;
    p.labelMode = dialog.m_label;
    p.sortItems = dialog.m_sortItems;
    p.minimumPadding = dialog.m_minimumPadding;
    p.backgroundColour = static_cast<COLORREF>(dialog.m_backgroundColour);
    p.fillColour = static_cast<COLORREF>(dialog.m_fillColour);
    p.windowBorder = dialog.m_windowBorder;
    p.showFrame = dialog.m_showFrame;
    p.frameColour = static_cast<COLORREF>(dialog.m_borderColour);
    p.resizeMode = dialog.m_resizeMode;
    p.neverIncrease = dialog.m_neverIncrease;
    p.multipleSelection = dialog.m_multipleSelection;
    p.verticalLayout = dialog.m_verticalLayout;
    return 1;
}

} // namespace gallimo
