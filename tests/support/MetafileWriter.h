// Metafile fixtures: old-style records (plain or behind a placeable header) and enhanced
// records, written one call at a time. Parameters are given as they are stored: old-style
// records take 16-bit words in the file's own (reversed) order, enhanced records 32-bit values.
#pragma once

#include "TestFiles.h"
#include "win32/win32.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace testing_support {

// Old-style function numbers the tests write.
enum WmfFunction : std::uint16_t {
    kWmfSaveDC = 0x001E,
    kWmfSetBkMode = 0x0102,
    kWmfSetMapMode = 0x0103,
    kWmfSetPolyFillMode = 0x0106,
    kWmfRestoreDC = 0x0127,
    kWmfSelectObject = 0x012D,
    kWmfSetTextAlign = 0x012E,
    kWmfDeleteObject = 0x01F0,
    kWmfSetBkColor = 0x0201,
    kWmfSetTextColor = 0x0209,
    kWmfSetWindowOrg = 0x020B,
    kWmfSetWindowExt = 0x020C,
    kWmfLineTo = 0x0213,
    kWmfMoveTo = 0x0214,
    kWmfCreatePenIndirect = 0x02FA,
    kWmfCreateFontIndirect = 0x02FB,
    kWmfCreateBrushIndirect = 0x02FC,
    kWmfPolygon = 0x0324,
    kWmfPolyline = 0x0325,
    kWmfIntersectClipRect = 0x0416,
    kWmfEllipse = 0x0418,
    kWmfRectangle = 0x041B,
    kWmfTextOut = 0x0521,
    kWmfPolyPolygon = 0x0538,
    kWmfRoundRect = 0x061C,
    kWmfArc = 0x0817,
    kWmfPie = 0x081A,
    kWmfChord = 0x0830,
    kWmfExtTextOut = 0x0A32,
    kWmfDibStretchBlt = 0x0B41,
    kWmfStretchDib = 0x0F43,
};

class WmfWriter {
public:
    WmfWriter& record(std::uint16_t function, std::initializer_list<std::int32_t> words);
    // A record whose parameters are given as bytes (padded to a whole word).
    WmfWriter& raw(std::uint16_t function, const Bytes& parameters);

    WmfWriter& window(int left, int top, int width, int height);
    WmfWriter& pen(int style, int width, std::uint32_t colour);
    WmfWriter& brush(int style, std::uint32_t colour, int hatch = 0);
    WmfWriter& font(int height, int weight, const std::string& face, int charset = 0,
                    int escapement = 0);
    WmfWriter& colour(std::uint16_t function, std::uint32_t colour);
    WmfWriter& select(int slot) { return record(kWmfSelectObject, {slot}); }
    WmfWriter& rectangle(int left, int top, int right, int bottom) {
        return record(kWmfRectangle, {bottom, right, top, left});
    }
    WmfWriter& ellipse(int left, int top, int right, int bottom) {
        return record(kWmfEllipse, {bottom, right, top, left});
    }
    WmfWriter& textOut(int x, int y, const std::string& text);
    // ExtTextOut without a rectangle or advances.
    WmfWriter& extTextOut(int x, int y, const std::string& text, int options = 0);

    // The header (naming `objects` slots), the records and the end-of-file record.
    Bytes bytes(int objects = 8) const;
    // The same behind a placeable header with this box and units per inch.
    Bytes placeable(int left, int top, int right, int bottom, int unitsPerInch,
                    int objects = 8) const;

private:
    Bytes m_records;
    std::uint32_t m_largest = 3;
};

// Enhanced record types the tests write.
enum EmfRecord : std::uint32_t {
    kEmfPolygon = 3,
    kEmfSetWindowExt = 9,
    kEmfSetWindowOrg = 10,
    kEmfSetViewportExt = 11,
    kEmfSetViewportOrg = 12,
    kEmfSetMapMode = 17,
    kEmfSetBkMode = 18,
    kEmfSetPolyFillMode = 19,
    kEmfSetTextAlign = 22,
    kEmfSetTextColor = 24,
    kEmfSetBkColor = 25,
    kEmfMoveTo = 27,
    kEmfIntersectClipRect = 30,
    kEmfSaveDC = 33,
    kEmfRestoreDC = 34,
    kEmfSetWorldTransform = 35,
    kEmfSelectObject = 37,
    kEmfCreatePen = 38,
    kEmfCreateBrushIndirect = 39,
    kEmfDeleteObject = 40,
    kEmfEllipse = 42,
    kEmfRectangle = 43,
    kEmfRoundRect = 44,
    kEmfArc = 45,
    kEmfChord = 46,
    kEmfPie = 47,
    kEmfLineTo = 54,
    kEmfSetArcDirection = 57,
    kEmfBeginPath = 59,
    kEmfEndPath = 60,
    kEmfCloseFigure = 61,
    kEmfFillPath = 62,
    kEmfStrokePath = 64,
    kEmfExtSelectClipRgn = 75,
    kEmfBitBlt = 76,
    kEmfStretchDIBits = 81,
    kEmfExtCreateFontIndirectW = 82,
    kEmfExtTextOutA = 83,
    kEmfExtTextOutW = 84,
    kEmfPolyBezier16 = 85,
    kEmfPolygon16 = 86,
    kEmfPolyline16 = 87,
    kEmfPolyBezierTo16 = 88,
    kEmfPolyPolygon16 = 91,
    kEmfCreateMonoBrush = 93,
    kEmfExtCreatePen = 95,
    kEmfAlphaBlend = 114,
};

// Stock objects as enhanced records name them.
inline constexpr std::uint32_t kEmfStock = 0x80000000u;

class EmfWriter {
public:
    // The frame in hundredths of a millimetre and the reference device in pixels and
    // millimetres; the defaults make one frame unit of 0.01 mm a tenth of a pixel.
    explicit EmfWriter(RECT frame = {0, 0, 1000, 500}, SIZE device = {1000, 1000},
                       SIZE millimetres = {100, 100});

    EmfWriter& record(std::uint32_t type, std::initializer_list<std::int32_t> values);
    EmfWriter& raw(std::uint32_t type, const Bytes& body);

    EmfWriter& brush(std::uint32_t slot, int style, std::uint32_t colour, int hatch = 0) {
        return record(kEmfCreateBrushIndirect, {static_cast<std::int32_t>(slot), style,
                                                static_cast<std::int32_t>(colour), hatch});
    }
    EmfWriter& pen(std::uint32_t slot, int style, int width, std::uint32_t colour) {
        return record(kEmfCreatePen, {static_cast<std::int32_t>(slot), style, width, 0,
                                      static_cast<std::int32_t>(colour)});
    }
    EmfWriter& select(std::uint32_t slot) {
        return record(kEmfSelectObject, {static_cast<std::int32_t>(slot)});
    }
    EmfWriter& rectangle(int left, int top, int right, int bottom) {
        return record(kEmfRectangle, {left, top, right, bottom});
    }
    // A font of this height (logical units), character set and escapement (tenths of a degree).
    EmfWriter& font(std::uint32_t slot, int height, const std::string& face, int charset = 0,
                    int escapement = 0);
    // A text record with advances of `advance` units when it is not 0.
    EmfWriter& textOutW(int x, int y, const std::string& text, int advance = 0,
                        std::uint32_t options = 0);
    EmfWriter& textOutW(int x, int y, const std::u16string& text, int advance = 0,
                        std::uint32_t options = 0);
    // The same as ExtTextOutA, whose bytes the font's character set reads.
    EmfWriter& textOutA(int x, int y, const std::string& bytes);
    // StretchDIBits of a packed DIB (header, table and rows in one run).
    EmfWriter& stretchDIBits(int x, int y, int width, int height, const Bytes& dib, int tableBytes,
                             int srcWidth, int srcHeight);

    Bytes bytes() const;
    // A header whose numbers are set by hand.
    Bytes bytesWithHeader(SIZE device, SIZE millimetres) const;

private:
    RECT m_frame;
    SIZE m_device;
    SIZE m_millimetres;
    Bytes m_records;
    std::uint32_t m_count = 0;
};

// A packed DIB of 24 bits from top-down rows of pixels given as COLORREFs.
Bytes packedDib24(int width, int height, const std::initializer_list<std::uint32_t>& rgb);

} // namespace testing_support
