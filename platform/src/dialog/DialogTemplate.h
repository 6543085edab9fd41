// Dialog templates and dialog initialisation data in their text form (win32/dialogs.h).
#pragma once

#include "win32/dialogs.h"

#include <string>
#include <vector>

namespace winplat::dialog {

struct DialogItem {
    std::string text;
    std::string className;
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    std::string caption;
    std::string className; // empty: the dialog class
    int pointSize = 0;
    std::string face;
    std::vector<DialogItem> items;
};

struct InitEntry {
    int id = 0;
    UINT message = 0;
    std::string text;
};

// False with a reason for the first statement that cannot be read.
bool parseDialogTemplate(const char* text, DialogTemplate* out, std::string* error);
bool parseDialogInit(const char* text, std::vector<InitEntry>* out, std::string* error);

} // namespace winplat::dialog
