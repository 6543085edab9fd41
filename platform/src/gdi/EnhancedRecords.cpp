// Enhanced-metafile records: each is read within its own length and handed to the player;
// a record that is short, or of a kind the player does not know, is skipped.
#include "gdi/Metafile.h"
#include "gdi/MetafilePlayer.h"
#include "gdi/RecordReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace winplat::gdi {
namespace meta {
namespace {

enum Record : std::uint32_t {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExt = 9,
    kSetWindowOrg = 10,
    kSetViewportExt = 11,
    kSetViewportOrg = 12,
    kEof = 14,
    kSetPixel = 15,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetStretchBltMode = 21,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kMoveTo = 27,
    kIntersectClipRect = 30,
    kScaleViewportExt = 31,
    kScaleWindowExt = 32,
    kSaveDC = 33,
    kRestoreDC = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kCreatePalette = 49,
    kLineTo = 54,
    kArcTo = 55,
    kSetArcDirection = 57,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kSelectClipPath = 67,
    kAbortPath = 68,
    kExtSelectClipRgn = 75,
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDIBitsToDevice = 80,
    kStretchDIBits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kCreateMonoBrush = 93,
    kCreateDIBPatternBrushPt = 94,
    kExtCreatePen = 95,
    kAlphaBlend = 114,
};

constexpr std::uint32_t kStockBit = 0x80000000u;
constexpr int kRegionAnd = 1;
constexpr int kRegionCopy = 5;
constexpr std::size_t kLogFontWBytes = 92;

class EnhancedDecoder {
public:
    explicit EnhancedDecoder(Player& player) : m_p(player) {}

    void play(std::uint32_t type, RecordReader& r);

private:
    void points(std::uint32_t type, RecordReader& r);
    void polyPoints(std::uint32_t type, RecordReader& r);
    void figure(std::uint32_t type, RecordReader& r);
    void mapping(std::uint32_t type, RecordReader& r);
    void objects(std::uint32_t type, RecordReader& r);
    void text(std::uint32_t type, RecordReader& r);
    void bitmap(std::uint32_t type, RecordReader& r);
    void clipRegion(RecordReader& r);
    void dibBrush(RecordReader& r, bool mono);
    void extPen(RecordReader& r);
    void font(RecordReader& r);
    static Affine readTransform(RecordReader& r, std::size_t at);

    Player& m_p;
};

Affine EnhancedDecoder::readTransform(RecordReader& r, std::size_t at) {
    return Affine{r.f32(at),      r.f32(at + 4),  r.f32(at + 8),
                  r.f32(at + 12), r.f32(at + 16), r.f32(at + 20)};
}

// Polylines, polygons and Bézier runs: bounds, a count, then the points.
void EnhancedDecoder::points(std::uint32_t type, RecordReader& r) {
    const bool small = type >= kPolyBezier16;
    const std::uint32_t base = small ? type - kPolyBezier16 + kPolyBezier : type;
    const std::uint32_t count = r.u32(24);
    std::vector<PointF> p;
    if (!r.ok() || !(small ? r.points16(28, count, p) : r.points32(28, count, p))) return;
    switch (base) {
    case kPolyBezier:
        m_p.polyBezier(p, false);
        break;
    case kPolygon:
        m_p.polygon(p);
        break;
    case kPolyline:
        m_p.polyline(p);
        break;
    case kPolyBezierTo:
        m_p.polyBezier(p, true);
        break;
    default:
        m_p.polylineTo(p);
        break;
    }
}

// Poly-polylines and poly-polygons: bounds, the number of parts, the total of points, each
// part's count, then every point.
void EnhancedDecoder::polyPoints(std::uint32_t type, RecordReader& r) {
    const bool small = type == kPolyPolyline16 || type == kPolyPolygon16;
    const std::uint32_t parts = r.u32(24);
    const std::uint32_t total = r.u32(28);
    if (!r.ok() || !r.has(32, std::uint64_t{parts} * 4)) return;
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < parts; ++i)
        sum += r.u32(32 + std::size_t{i} * 4);
    std::vector<PointF> all;
    const std::size_t at = 32 + std::size_t{parts} * 4;
    if (sum != total || !(small ? r.points16(at, total, all) : r.points32(at, total, all))) return;
    std::vector<std::vector<PointF>> split;
    std::size_t next = 0;
    for (std::uint32_t i = 0; i < parts; ++i) {
        const std::uint32_t n = r.u32(32 + std::size_t{i} * 4);
        split.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(next),
                           all.begin() + static_cast<std::ptrdiff_t>(next + n));
        next += n;
    }
    if (type == kPolyPolygon || type == kPolyPolygon16)
        m_p.polyPolygon(split);
    else
        m_p.polyPolyline(split);
}

// Figures given by a box (and corner size or start and end points).
void EnhancedDecoder::figure(std::uint32_t type, RecordReader& r) {
    const double l = r.i32(8), t = r.i32(12), rt = r.i32(16), b = r.i32(20);
    switch (type) {
    case kEllipse:
        if (r.ok()) m_p.ellipse(l, t, rt, b);
        break;
    case kRectangle:
        if (r.ok()) m_p.rectangle(l, t, rt, b);
        break;
    case kRoundRect: {
        const double w = r.i32(24), h = r.i32(28);
        if (r.ok()) m_p.roundRect(l, t, rt, b, w, h);
        break;
    }
    default: {
        const double xs = r.i32(24), ys = r.i32(28), xe = r.i32(32), ye = r.i32(36);
        if (!r.ok()) break;
        const ArcKind kind = type == kArc     ? ArcKind::Arc
                             : type == kChord ? ArcKind::Chord
                             : type == kPie   ? ArcKind::Pie
                                              : ArcKind::ArcTo;
        m_p.arc(kind, l, t, rt, b, xs, ys, xe, ye);
        break;
    }
    }
}

void EnhancedDecoder::mapping(std::uint32_t type, RecordReader& r) {
    if (type == kSetWorldTransform || type == kModifyWorldTransform) {
        const Affine x = readTransform(r, 8);
        const std::uint32_t mode = type == kModifyWorldTransform ? r.u32(32) : 4;
        if (r.ok()) m_p.modifyWorld(x, static_cast<int>(mode));
        return;
    }
    if (type == kSetMapMode) {
        const std::uint32_t mode = r.u32(8);
        if (r.ok()) m_p.setMapMode(static_cast<int>(mode));
        return;
    }
    const double a = r.i32(8), b = r.i32(12);
    if (type == kScaleViewportExt || type == kScaleWindowExt) {
        const double c = r.i32(16), d = r.i32(20);
        if (!r.ok()) return;
        if (type == kScaleViewportExt)
            m_p.scaleViewportExt(a, b, c, d);
        else
            m_p.scaleWindowExt(a, b, c, d);
        return;
    }
    if (!r.ok()) return;
    switch (type) {
    case kSetWindowExt:
        m_p.setWindowExt(a, b);
        break;
    case kSetWindowOrg:
        m_p.setWindowOrg(a, b);
        break;
    case kSetViewportExt:
        m_p.setViewportExt(a, b);
        break;
    default:
        m_p.setViewportOrg(a, b);
        break;
    }
}

void EnhancedDecoder::objects(std::uint32_t type, RecordReader& r) {
    const std::uint32_t index = r.u32(8);
    if (!r.ok()) return;
    switch (type) {
    case kSelectObject:
        if ((index & kStockBit) != 0) {
            m_p.selectStock(static_cast<int>(index & ~kStockBit));
        } else if (const Object* o = m_p.object(index)) {
            m_p.select(*o);
        }
        break;
    case kDeleteObject:
        m_p.erase(index);
        break;
    case kCreatePen: {
        Object o;
        o.kind = Object::Kind::Pen;
        o.pen.style = r.u32(12);
        o.pen.width = r.i32(16);
        o.pen.colour = r.u32(24);
        if (r.ok()) m_p.store(index, o);
        break;
    }
    case kCreateBrushIndirect: {
        Object o;
        o.kind = Object::Kind::Brush;
        o.brush.style = r.u32(12);
        o.brush.colour = r.u32(16);
        o.brush.hatch = static_cast<int>(r.u32(20));
        // Pattern styles without their bitmap show as their colour.
        if (o.brush.style != BS_NULL && o.brush.style != BS_HATCHED) o.brush.style = BS_SOLID;
        if (r.ok()) m_p.store(index, o);
        break;
    }
    default: {
        Object o;
        o.kind = Object::Kind::Other;
        m_p.store(index, o);
        break;
    }
    }
}

void EnhancedDecoder::extPen(RecordReader& r) {
    const std::uint32_t index = r.u32(8);
    const std::uint32_t style = r.u32(28);
    const std::uint32_t width = r.u32(32);
    const std::uint32_t brushStyle = r.u32(36);
    const COLORREF colour = r.u32(40);
    if (!r.ok()) return;
    constexpr std::uint32_t kGeometric = 0x00010000u;
    Object o;
    o.kind = Object::Kind::Pen;
    o.pen.style = brushStyle == BS_NULL ? PS_NULL : (style & 0xFu);
    o.pen.cosmetic = (style & kGeometric) == 0;
    o.pen.width = static_cast<double>(width);
    o.pen.colour = colour;
    m_p.store(index, o);
}

void EnhancedDecoder::dibBrush(RecordReader& r, bool mono) {
    const std::uint32_t index = r.u32(8);
    const std::uint32_t infoAt = r.u32(16), infoBytes = r.u32(20);
    const std::uint32_t bitsAt = r.u32(24), bitsBytes = r.u32(28);
    if (!r.ok()) return;
    Object o;
    o.kind = Object::Kind::Brush;
    o.brush.colour = RGB(128, 128, 128);
    Dib dib;
    if (r.has(infoAt, infoBytes) && r.has(bitsAt, bitsBytes) &&
        readDib(r.at(infoAt), infoBytes, r.at(bitsAt), bitsBytes, dib)) {
        o.brush.colour = averageColour(dib);
        if (mono) o.brush.setBits = setBitShare(dib);
    }
    m_p.store(index, o);
}

void EnhancedDecoder::font(RecordReader& r) {
    const std::uint32_t index = r.u32(8);
    if (!r.ok() || !r.has(12, kLogFontWBytes)) return;
    Object o;
    o.kind = Object::Kind::Font;
    LOGFONTA& f = o.font;
    f.lfHeight = r.i32(12);
    f.lfWidth = r.i32(16);
    f.lfEscapement = r.i32(20);
    f.lfOrientation = r.i32(24);
    f.lfWeight = r.i32(28);
    std::memcpy(&f.lfItalic, r.at(32), 8);
    const std::string face = narrowText(r.at(40), LF_FACESIZE);
    std::strncpy(f.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    m_p.store(index, o);
}

// ExtTextOutA and ExtTextOutW: the text's place, count, offsets of the characters and of the
// advances, options and rectangle.
void EnhancedDecoder::text(std::uint32_t type, RecordReader& r) {
    constexpr std::uint32_t kGlyphIndices = 0x0010;     // ETO_GLYPH_INDEX
    constexpr std::uint32_t kVerticalAdvances = 0x2000; // ETO_PDY: pairs of advances
    const double x = r.i32(36), y = r.i32(40);
    const std::uint32_t count = r.u32(44);
    const std::uint32_t textAt = r.u32(48);
    const std::uint32_t options = r.u32(52);
    const double rect[4] = {static_cast<double>(r.i32(56)), static_cast<double>(r.i32(60)),
                            static_cast<double>(r.i32(64)), static_cast<double>(r.i32(68))};
    const std::uint32_t advancesAt = r.u32(72);
    const std::uint64_t each = type == kExtTextOutW ? 2 : 1;
    if (!r.ok() || !r.has(textAt, count * each)) return;
    // Glyph indices mean nothing without the font they index: only the box is drawn.
    const std::uint32_t shown = (options & kGlyphIndices) != 0 ? 0 : count;
    std::vector<double> advances;
    const std::uint64_t stride = (options & kVerticalAdvances) != 0 ? 8 : 4;
    if (advancesAt != 0 && r.has(advancesAt, count * stride))
        for (std::uint32_t i = 0; i < shown; ++i)
            advances.push_back(r.i32(advancesAt + i * stride));
    if (type == kExtTextOutA) {
        m_p.text(x, y, options, rect,
                 std::string(reinterpret_cast<const char*>(r.at(textAt)), shown), advances);
        return;
    }
    std::u16string units(shown, u'\0');
    for (std::uint32_t i = 0; i < shown; ++i)
        units[i] = r.u16(textAt + std::size_t{i} * 2);
    m_p.text(x, y, options, rect, units, advances);
}

// BitBlt, StretchBlt, AlphaBlend (its blend function where the others have their raster
// operation), StretchDIBits and SetDIBitsToDevice: where to, from which part of the DIB, and
// the DIB as offsets and sizes within the record. A blit without a DIB paints with the brush.
void EnhancedDecoder::bitmap(std::uint32_t type, RecordReader& r) {
    double x = r.i32(24), y = r.i32(28), w = 0, h = 0;
    int sx = 0, sy = 0, sw = 0, sh = 0;
    DWORD rop = SRCCOPY;
    std::uint32_t usage = DIB_RGB_COLORS, infoAt = 0, infoBytes = 0, bitsAt = 0, bitsBytes = 0;
    if (type == kBitBlt || type == kStretchBlt || type == kAlphaBlend) {
        w = r.i32(32);
        h = r.i32(36);
        rop = r.u32(40);
        sx = r.i32(44);
        sy = r.i32(48);
        usage = r.u32(80);
        infoAt = r.u32(84);
        infoBytes = r.u32(88);
        bitsAt = r.u32(92);
        bitsBytes = r.u32(96);
        sw = type != kBitBlt ? r.i32(100) : static_cast<int>(w);
        sh = type != kBitBlt ? r.i32(104) : static_cast<int>(h);
    } else {
        sx = r.i32(32);
        sy = r.i32(36);
        sw = r.i32(40);
        sh = r.i32(44);
        infoAt = r.u32(48);
        infoBytes = r.u32(52);
        bitsAt = r.u32(56);
        bitsBytes = r.u32(60);
        usage = r.u32(64);
        rop = type == kStretchDIBits ? r.u32(68) : SRCCOPY;
        w = type == kStretchDIBits ? r.i32(72) : sw;
        h = type == kStretchDIBits ? r.i32(76) : sh;
    }
    if (!r.ok()) return;
    if (infoBytes == 0 && (type == kBitBlt || type == kStretchBlt)) {
        m_p.patBlt(x, y, w, h, rop);
        return;
    }
    Dib dib;
    if (usage != DIB_RGB_COLORS || !r.has(infoAt, infoBytes) || !r.has(bitsAt, bitsBytes) ||
        !readDib(r.at(infoAt), infoBytes, r.at(bitsAt), bitsBytes, dib))
        return;
    if (type == kAlphaBlend)
        m_p.alphaBlend(x, y, w, h, sx, sy, sw, sh, dib, rop);
    else
        m_p.bitmap(x, y, w, h, sx, sy, sw, sh, dib, rop);
}

// Only the bounding rectangle of a region is kept: enough for the clips producers set.
void EnhancedDecoder::clipRegion(RecordReader& r) {
    const std::uint32_t bytes = r.u32(8);
    const std::uint32_t mode = r.u32(12);
    if (!r.ok()) return;
    if (bytes < 32 || !r.has(16, bytes)) {
        if (mode == kRegionCopy) m_p.resetClip();
        return;
    }
    const RECT bound{r.i32(32), r.i32(36), r.i32(40), r.i32(44)};
    if (mode == kRegionCopy || mode == kRegionAnd) m_p.clipToDeviceRect(bound, mode == kRegionCopy);
}

void EnhancedDecoder::play(std::uint32_t type, RecordReader& r) {
    State& s = m_p.state();
    switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
        points(type, r);
        break;
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyPolyline16:
    case kPolyPolygon16:
        polyPoints(type, r);
        break;
    case kEllipse:
    case kRectangle:
    case kRoundRect:
    case kArc:
    case kChord:
    case kPie:
    case kArcTo:
        figure(type, r);
        break;
    case kSetMapMode:
    case kSetWindowExt:
    case kSetWindowOrg:
    case kSetViewportExt:
    case kSetViewportOrg:
    case kScaleViewportExt:
    case kScaleWindowExt:
    case kSetWorldTransform:
    case kModifyWorldTransform:
        mapping(type, r);
        break;
    case kSelectObject:
    case kDeleteObject:
    case kCreatePen:
    case kCreateBrushIndirect:
    case kCreatePalette:
        objects(type, r);
        break;
    case kExtCreatePen:
        extPen(r);
        break;
    case kCreateMonoBrush:
    case kCreateDIBPatternBrushPt:
        dibBrush(r, type == kCreateMonoBrush);
        break;
    case kExtCreateFontIndirectW:
        font(r);
        break;
    case kExtTextOutA:
    case kExtTextOutW:
        text(type, r);
        break;
    case kBitBlt:
    case kStretchBlt:
    case kStretchDIBits:
    case kSetDIBitsToDevice:
    case kAlphaBlend:
        bitmap(type, r);
        break;
    case kSetPixel: {
        const double x = r.i32(8), y = r.i32(12);
        const COLORREF c = r.u32(16);
        if (r.ok()) m_p.setPixel(x, y, c);
        break;
    }
    case kMoveTo:
    case kLineTo: {
        const double x = r.i32(8), y = r.i32(12);
        if (!r.ok()) break;
        if (type == kMoveTo)
            m_p.moveTo(x, y);
        else
            m_p.lineTo(x, y);
        break;
    }
    case kSetBkMode: {
        const std::uint32_t mode = r.u32(8);
        if (r.ok() && (mode == TRANSPARENT || mode == OPAQUE)) s.bkMode = static_cast<int>(mode);
        break;
    }
    case kSetPolyFillMode: {
        const std::uint32_t mode = r.u32(8);
        if (r.ok() && (mode == ALTERNATE || mode == WINDING)) s.fillMode = static_cast<int>(mode);
        break;
    }
    case kSetStretchBltMode: {
        const std::uint32_t mode = r.u32(8);
        if (r.ok() && mode >= BLACKONWHITE && mode <= HALFTONE)
            s.stretchMode = static_cast<int>(mode);
        break;
    }
    case kSetTextAlign: {
        const std::uint32_t align = r.u32(8);
        if (r.ok()) s.textAlign = align;
        break;
    }
    case kSetTextColor:
    case kSetBkColor: {
        const COLORREF c = r.u32(8);
        if (r.ok()) (type == kSetTextColor ? s.textColour : s.bkColour) = c;
        break;
    }
    case kSetArcDirection: {
        const std::uint32_t direction = r.u32(8);
        if (r.ok()) s.clockwise = direction == 2;
        break;
    }
    case kIntersectClipRect: {
        const double l = r.i32(8), t = r.i32(12), rt = r.i32(16), b = r.i32(20);
        if (r.ok()) m_p.intersectClip(l, t, rt, b);
        break;
    }
    case kExtSelectClipRgn:
        clipRegion(r);
        break;
    case kSaveDC:
        m_p.save();
        break;
    case kRestoreDC: {
        const std::int32_t level = r.i32(8);
        if (r.ok()) m_p.restore(level);
        break;
    }
    case kBeginPath:
        m_p.beginPath();
        break;
    case kEndPath:
        m_p.endPath();
        break;
    case kCloseFigure:
        m_p.closeFigure();
        break;
    case kFillPath:
        m_p.fillPath();
        break;
    case kStrokeAndFillPath:
        m_p.strokeAndFillPath();
        break;
    case kStrokePath:
        m_p.strokePath();
        break;
    case kAbortPath:
        m_p.abortPath();
        break;
    case kSelectClipPath: {
        const std::uint32_t mode = r.u32(8);
        if (r.ok()) m_p.clipToPath(mode == kRegionCopy);
        break;
    }
    default:
        break;
    }
}

// The reference device's pixels that the frame covers, onto `rect`. A frame that says
// nothing (no size, no millimetres) falls back to the bounds, then to one pixel per pixel.
Affine frameMapping(const ENHMETAHEADER& h, const RECT& rect) {
    double left = h.rclBounds.left, top = h.rclBounds.top;
    double right = h.rclBounds.right, bottom = h.rclBounds.bottom;
    if (h.szlMillimeters.cx > 0 && h.szlMillimeters.cy > 0 && h.szlDevice.cx > 0 &&
        h.szlDevice.cy > 0 && h.rclFrame.right != h.rclFrame.left &&
        h.rclFrame.bottom != h.rclFrame.top) {
        const double kx = static_cast<double>(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0);
        const double ky = static_cast<double>(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0);
        left = h.rclFrame.left * kx;
        right = h.rclFrame.right * kx;
        top = h.rclFrame.top * ky;
        bottom = h.rclFrame.bottom * ky;
    }
    Affine a;
    a.m11 = right != left ? (static_cast<double>(rect.right) - rect.left) / (right - left) : 1;
    a.m22 = bottom != top ? (static_cast<double>(rect.bottom) - rect.top) / (bottom - top) : 1;
    a.dx = rect.left - left * a.m11;
    a.dy = rect.top - top * a.m22;
    return a;
}

} // namespace
} // namespace meta

void playEnhancedRecords(HDC dc, const EnhMetafile& metafile, const RECT& rect) {
    using namespace meta;
    const ENHMETAHEADER& h = metafile.header;
    Setup setup;
    setup.deviceToTarget = frameMapping(h, rect);
    if (h.szlMillimeters.cx > 0 && h.szlMillimeters.cy > 0 && h.szlDevice.cx > 0 &&
        h.szlDevice.cy > 0) {
        setup.pixelsPerMmX = static_cast<double>(h.szlDevice.cx) / h.szlMillimeters.cx;
        setup.pixelsPerMmY = static_cast<double>(h.szlDevice.cy) / h.szlMillimeters.cy;
    }
    Player player(dc, setup);
    if (!player.ready()) return;
    EnhancedDecoder decoder(player);
    const std::vector<BYTE>& bytes = metafile.records;
    std::size_t at = 0;
    while (bytes.size() - at >= 8) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        std::memcpy(&type, bytes.data() + at, 4);
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (size < 8 || size > bytes.size() - at || type == kEof) break;
        RecordReader record(bytes.data() + at, size);
        if (type != kHeader) decoder.play(type, record);
        at += size;
    }
}

} // namespace winplat::gdi
