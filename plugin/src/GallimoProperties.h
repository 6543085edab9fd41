// The eighteen settings of a thumbnail list and their text form, the property string that the
// host stores with the page.
#pragma once

#include "win32/types.h"

namespace gallimo {

struct GallimoProperties {
    int thumbWidth = 100;
    int thumbHeight = 100;
    int verticalSpacing = 40;
    int horizontalSpacing = 20;
    int labelMode = 1;
    int sortItems = 1;
    int minimumPadding = 3;
    COLORREF backgroundColour = 16777215;
    COLORREF fillColour = 16777215;
    int windowBorder = 2;
    int showFrame = 1;
    COLORREF frameColour = 0;
    int resizeMode = 1;
    int neverIncrease = 1;
    int multipleSelection = 0;
    int reservedA = 1;
    int reservedB = 1;
    int verticalLayout = 1;

    // The colours as drawn: CLR_DEFAULT ("Automatic") stays stored as it is and is drawn as the
    // default colour of its role.
    COLORREF drawnBackground() const;
    COLORREF drawnFill() const;
    COLORREF drawnFrame() const;

    // Writes the property string into `out` (at least 1000 bytes).
    void format(char* out) const;
    // Splits `text` in place; each value found sets the next field, the rest keep theirs.
    void parse(char* text);
};

} // namespace gallimo
