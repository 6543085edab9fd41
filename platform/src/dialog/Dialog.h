// What the dialog code keeps for each dialog window, shared by creation, the default dialog
// procedure, the modal loop and the dialog manager.
#pragma once

#include "win32/dialogs.h"

namespace winplat::dialog {

struct DialogState {
    DLGPROC proc = nullptr;
    HFONT font = nullptr; // made from the template; deleted with the dialog
    SIZE baseUnits{4, 8};
    int defaultId = 0; // DM_SETDEFID; 0: the first default push button
    HWND focusSave = nullptr;
    bool ended = false;
    INT_PTR result = 0;
};

// The state of a dialog window, or null for any other window.
DialogState* stateOf(HWND hwnd);

// Dialog units into pixels with the base units of a font (the system font for null).
SIZE baseUnitsOf(HFONT font);
int toPixelsX(int units, SIZE base);
int toPixelsY(int units, SIZE base);

// Focus to a control as the dialog manager gives it: an edit's text gets selected.
void giveFocus(HWND dialog, HWND control);

// The dialog's modal loop until EndDialog: retrieves, lets the dialog manager have what is the
// dialog's, dispatches the rest. False when WM_QUIT came (it is posted again).
bool runModalLoop(HWND dialog);

int mulDiv(int a, int b, int c);

} // namespace winplat::dialog
