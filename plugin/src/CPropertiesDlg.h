// The properties dialog of a thumbnail list: template 5000 with its combo-box data, three
// colour pickers, five up-down controls, and sixteen of the eighteen property fields.
#pragma once

#include "CColourPicker.h"
#include "GallimoProperties.h"
#include "mfc/mfc.h"

class CPropertiesDlg : public CDialog {
public:
    enum { IDD = 5000 };

    explicit CPropertiesDlg(CWnd* parent = nullptr);

    CColourPicker m_backgroundPicker;
    CSpinButtonCtrl m_widthSpin;
    CSpinButtonCtrl m_verticalSpacingSpin;
    CSpinButtonCtrl m_paddingSpin;
    CSpinButtonCtrl m_horizontalSpacingSpin;
    CSpinButtonCtrl m_heightSpin;
    CColourPicker m_fillPicker;
    CColourPicker m_borderPicker;
    int m_windowBorder;
    int m_thumbHeight;
    int m_horizontalSpacing;
    int m_label;
    int m_multipleSelection;
    int m_neverIncrease;
    int m_resizeMode;
    int m_sortItems;
    int m_showFrame;
    int m_verticalSpacing;
    int m_thumbWidth;
    int m_minimumPadding;
    int m_verticalLayout;
    int m_borderColour;
    int m_fillColour;
    int m_backgroundColour;
    CString m_helpPath;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg void EnableFrameControls();
    afx_msg void OnHelpButton();

    DECLARE_MESSAGE_MAP()
};

namespace gallimo {

// Runs the properties dialog on every field but reservedA and reservedB, its Help button
// opening `helpPath`. After OK the sixteen values are stored and the result is 1; otherwise
// nothing changes and the result is 0.
int EditProperties(GallimoProperties& properties, const char* helpPath);

} // namespace gallimo
