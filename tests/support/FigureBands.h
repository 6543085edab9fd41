// An enhanced picture whose longer side is cut into four bands, each drawn by one kind of
// filled figure: a rectangle, an ellipse, a polygon (these three outlined by a pen three pixels
// wide) and a filled path. Each figure reaches past the shorter side, so every band shows its
// brush across the picture in its middle. The reference device has one pixel per frame unit.
#pragma once

#include "TestFiles.h"
#include "win32/win32.h"

namespace testing_support {

struct FigureBands {
    static constexpr COLORREF kPen = RGB(0, 0, 0);
    static constexpr COLORREF kBrushes[4] = {RGB(255, 0, 0), RGB(0, 160, 0), RGB(0, 0, 255),
                                             RGB(250, 200, 0)};

    FigureBands(LONG width, LONG height) : width(width), height(height) {}
    Bytes bytes() const;

    // Band k (0 to 3) along the longer side (the height when both are equal): its figure covers
    // [first, last) there, and the margins either side of it stay clear.
    bool tall() const { return height >= width; }
    LONG length() const { return tall() ? height : width; }
    LONG across() const { return tall() ? width : height; }
    LONG first(int band) const { return band * length() / 4 + length() / 64; }
    LONG last(int band) const { return (band + 1) * length() / 4 - length() / 64; }
    // The pixel `along` the longer side, `over` the shorter one.
    POINT at(LONG along, LONG over) const {
        return tall() ? POINT{over, along} : POINT{along, over};
    }

    LONG width, height;
};

} // namespace testing_support
