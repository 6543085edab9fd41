// Old-style metafile records. Their parameters are 16-bit words, in the reverse order of the
// call they record. Objects go into the lowest free slot of the table, so every record that
// makes one takes a slot, even one the player cannot use.
//
// Played into a frame, the picture's window (its own SetWindowOrg and SetWindowExt) is mapped
// onto the target rectangle, and viewport records are ignored, since they speak of a device
// that is not there. A picture that never sets its window is measured first and its drawing's
// bounds serve as the window.
#include "gdi/Metafile.h"
#include "gdi/MetafilePlayer.h"
#include "gdi/RecordReader.h"

#include <algorithm>
#include <cstring>

namespace winplat::gdi {
namespace meta {
namespace {

enum Function : std::uint16_t {
    kEof = 0x0000,
    kSaveDC = 0x001E,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetPolyFillMode = 0x0106,
    kSetStretchBltMode = 0x0107,
    kRestoreDC = 0x0127,
    kSelectClipRegion = 0x012C,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kOffsetWindowOrg = 0x020F,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kDibStretchBlt = 0x0B41,
    kSetDibToDev = 0x0D33,
    kStretchDib = 0x0F43,
};

constexpr std::size_t kParams = 6;              // record size (two words) and function
constexpr std::uint16_t kGlyphIndices = 0x0010; // ETO_GLYPH_INDEX
constexpr std::size_t kFaceAt = kParams + 18;

// Calls `visit(function, record)` for every record up to the end-of-file record or the first
// one that does not fit.
template <class Visit> void walkRecords(const std::vector<BYTE>& bits, Visit&& visit) {
    std::size_t at = kOldStyleHeaderBytes;
    while (at <= bits.size() && bits.size() - at >= kParams) {
        std::uint32_t words = 0;
        std::uint16_t function = 0;
        std::memcpy(&words, bits.data() + at, 4);
        std::memcpy(&function, bits.data() + at + 4, 2);
        const std::uint64_t bytes = std::uint64_t{words} * 2;
        if (function == kEof || words < 3 || bytes > bits.size() - at) break;
        RecordReader record(bits.data() + at, static_cast<std::size_t>(bytes));
        visit(function, record);
        at += static_cast<std::size_t>(bytes);
    }
}

class OldStyleDecoder {
public:
    explicit OldStyleDecoder(Player& player) : m_p(player) {}
    void play(std::uint16_t function, RecordReader& r);

private:
    void create(std::uint16_t function, RecordReader& r);
    void figure(std::uint16_t function, RecordReader& r);
    void poly(std::uint16_t function, RecordReader& r);
    void textOut(RecordReader& r);
    void extTextOut(RecordReader& r);
    void bitmap(std::uint16_t function, RecordReader& r);
    void state(std::uint16_t function, RecordReader& r);

    Player& m_p;
};

void OldStyleDecoder::create(std::uint16_t function, RecordReader& r) {
    Object o;
    o.kind = Object::Kind::Other;
    switch (function) {
    case kCreatePenIndirect: {
        o.pen.style = r.u16(kParams);
        o.pen.width = r.i16(kParams + 2);
        o.pen.colour = r.u32(kParams + 6);
        if (r.ok()) o.kind = Object::Kind::Pen;
        break;
    }
    case kCreateBrushIndirect: {
        const std::uint16_t style = r.u16(kParams);
        o.brush.colour = r.u32(kParams + 2);
        o.brush.hatch = r.u16(kParams + 6);
        o.brush.style = style == BS_NULL || style == BS_HATCHED ? style : BS_SOLID;
        if (r.ok()) o.kind = Object::Kind::Brush;
        break;
    }
    case kCreateFontIndirect: {
        LOGFONTA& f = o.font;
        f.lfHeight = r.i16(kParams);
        f.lfWidth = r.i16(kParams + 2);
        f.lfEscapement = r.i16(kParams + 4);
        f.lfOrientation = r.i16(kParams + 6);
        f.lfWeight = r.i16(kParams + 8);
        if (!r.ok() || !r.has(kParams + 10, 8)) break;
        std::memcpy(&f.lfItalic, r.at(kParams + 10), 8);
        if (r.size() > kFaceAt)
            std::memcpy(f.lfFaceName, r.at(kFaceAt),
                        std::min<std::size_t>(r.size() - kFaceAt, LF_FACESIZE - 1));
        o.kind = Object::Kind::Font;
        break;
    }
    case kDibCreatePatternBrush:
    case kCreatePatternBrush: {
        o.kind = Object::Kind::Brush;
        o.brush.colour = RGB(128, 128, 128);
        Dib dib;
        if (function == kDibCreatePatternBrush && r.size() > kParams + 4 &&
            readPackedDib(r.at(kParams + 4), r.size() - kParams - 4, dib))
            o.brush.colour = averageColour(dib);
        break;
    }
    case kCreateRegion: {
        const LONG l = r.i16(kParams + 14), t = r.i16(kParams + 16);
        const LONG rt = r.i16(kParams + 18), b = r.i16(kParams + 20);
        if (!r.ok()) break;
        o.kind = Object::Kind::Region;
        o.region = {l, t, rt, b};
        break;
    }
    default:
        break;
    }
    const int slot = m_p.firstFreeSlot();
    if (slot >= 0) m_p.store(static_cast<std::uint32_t>(slot), o);
}

void OldStyleDecoder::figure(std::uint16_t function, RecordReader& r) {
    // The box comes last, after the corner size or the arc's end and start points.
    const std::size_t box = function == kRoundRect ? kParams + 4
                            : function == kArc || function == kPie || function == kChord
                                ? kParams + 8
                                : kParams;
    const double b = r.i16(box), rt = r.i16(box + 2), t = r.i16(box + 4), l = r.i16(box + 6);
    if (!r.ok()) return;
    switch (function) {
    case kEllipse:
        m_p.ellipse(l, t, rt, b);
        break;
    case kRectangle:
        m_p.rectangle(l, t, rt, b);
        break;
    case kRoundRect:
        m_p.roundRect(l, t, rt, b, r.i16(kParams + 2), r.i16(kParams));
        break;
    default: {
        const double ye = r.i16(kParams), xe = r.i16(kParams + 2);
        const double ys = r.i16(kParams + 4), xs = r.i16(kParams + 6);
        const ArcKind kind = function == kArc   ? ArcKind::Arc
                             : function == kPie ? ArcKind::Pie
                                                : ArcKind::Chord;
        m_p.arc(kind, l, t, rt, b, xs, ys, xe, ye);
        break;
    }
    }
}

void OldStyleDecoder::poly(std::uint16_t function, RecordReader& r) {
    if (function != kPolyPolygon) {
        const std::int16_t count = r.i16(kParams);
        std::vector<PointF> p;
        if (!r.ok() || count < 0 || !r.points16(kParams + 2, static_cast<std::uint64_t>(count), p))
            return;
        if (function == kPolygon)
            m_p.polygon(p);
        else
            m_p.polyline(p);
        return;
    }
    const std::uint16_t parts = r.u16(kParams);
    const std::size_t countsAt = kParams + 2;
    if (!r.ok() || !r.has(countsAt, std::uint64_t{parts} * 2)) return;
    std::uint64_t total = 0;
    for (std::uint16_t i = 0; i < parts; ++i)
        total += r.u16(countsAt + std::size_t{i} * 2);
    std::vector<PointF> all;
    if (!r.points16(countsAt + std::size_t{parts} * 2, total, all)) return;
    std::vector<std::vector<PointF>> polygons;
    std::size_t next = 0;
    for (std::uint16_t i = 0; i < parts; ++i) {
        const std::size_t n = r.u16(countsAt + std::size_t{i} * 2);
        polygons.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(next),
                              all.begin() + static_cast<std::ptrdiff_t>(next + n));
        next += n;
    }
    m_p.polyPolygon(polygons);
}

void OldStyleDecoder::textOut(RecordReader& r) {
    const std::int16_t count = r.i16(kParams);
    if (!r.ok() || count < 0) return;
    const std::size_t padded = (static_cast<std::size_t>(count) + 1) & ~std::size_t{1};
    const std::size_t after = kParams + 2 + padded;
    const double y = r.i16(after), x = r.i16(after + 2);
    if (!r.ok()) return;
    const std::string chars(reinterpret_cast<const char*>(r.at(kParams + 2)),
                            static_cast<std::size_t>(count));
    m_p.text(x, y, 0, nullptr, chars, {});
}

void OldStyleDecoder::extTextOut(RecordReader& r) {
    const double y = r.i16(kParams), x = r.i16(kParams + 2);
    const std::int16_t count = r.i16(kParams + 4);
    const std::uint16_t options = r.u16(kParams + 6);
    if (!r.ok() || count < 0) return;
    const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
    double rect[4] = {0, 0, 0, 0};
    std::size_t at = kParams + 8;
    if (hasRect) {
        for (int i = 0; i < 4; ++i)
            rect[i] = r.i16(at + 2 * static_cast<std::size_t>(i));
        at += 8;
    }
    // Glyph indices mean nothing without the font they index: only the box is drawn.
    const auto n = (options & kGlyphIndices) != 0 ? 0 : static_cast<std::size_t>(count);
    if (!r.ok() || !r.has(at, static_cast<std::size_t>(count))) return;
    const std::string chars(reinterpret_cast<const char*>(r.at(at)), n);
    std::vector<double> advances;
    const std::size_t advancesAt = at + ((n + 1) & ~std::size_t{1});
    if (r.has(advancesAt, n * 2))
        for (std::size_t i = 0; i < n; ++i)
            advances.push_back(r.i16(advancesAt + 2 * i));
    m_p.text(x, y, options, hasRect ? rect : nullptr, chars, advances);
}

// The blits with a DIB; without one (the record then has its bare size) they paint with the
// brush.
void OldStyleDecoder::bitmap(std::uint16_t function, RecordReader& r) {
    const bool withDib = r.size() != (static_cast<std::size_t>(function >> 8) + 3) * 2;
    DWORD rop = SRCCOPY;
    double x = 0, y = 0, w = 0, h = 0;
    int sx = 0, sy = 0, sw = 0, sh = 0;
    std::size_t dibAt = 0;
    switch (function) {
    case kDibBitBlt: {
        rop = r.u32(kParams);
        sy = r.i16(kParams + 4);
        sx = r.i16(kParams + 6);
        const std::size_t at = kParams + (withDib ? 8 : 10);
        sh = r.i16(at);
        sw = r.i16(at + 2);
        h = sh;
        w = sw;
        y = r.i16(at + 4);
        x = r.i16(at + 6);
        dibAt = at + 8;
        break;
    }
    case kDibStretchBlt: {
        rop = r.u32(kParams);
        sh = r.i16(kParams + 4);
        sw = r.i16(kParams + 6);
        sy = r.i16(kParams + 8);
        sx = r.i16(kParams + 10);
        const std::size_t at = kParams + (withDib ? 12 : 14);
        h = r.i16(at);
        w = r.i16(at + 2);
        y = r.i16(at + 4);
        x = r.i16(at + 6);
        dibAt = at + 8;
        break;
    }
    case kStretchDib:
        rop = r.u32(kParams);
        if (r.u16(kParams + 4) != DIB_RGB_COLORS) return;
        sh = r.i16(kParams + 6);
        sw = r.i16(kParams + 8);
        sy = r.i16(kParams + 10);
        sx = r.i16(kParams + 12);
        h = r.i16(kParams + 14);
        w = r.i16(kParams + 16);
        y = r.i16(kParams + 18);
        x = r.i16(kParams + 20);
        dibAt = kParams + 22;
        break;
    default: // SetDIBitsToDevice: the whole band as it stands
        if (r.u16(kParams) != DIB_RGB_COLORS) return;
        sy = r.i16(kParams + 6);
        sx = r.i16(kParams + 8);
        sh = r.i16(kParams + 10);
        sw = r.i16(kParams + 12);
        h = sh;
        w = sw;
        y = r.i16(kParams + 14);
        x = r.i16(kParams + 16);
        dibAt = kParams + 18;
        break;
    }
    if (!r.ok()) return;
    if (!withDib && (function == kDibBitBlt || function == kDibStretchBlt)) {
        m_p.patBlt(x, y, w, h, rop);
        return;
    }
    Dib dib;
    if (dibAt >= r.size() || !readPackedDib(r.at(dibAt), r.size() - dibAt, dib)) return;
    m_p.bitmap(x, y, w, h, sx, sy, sw, sh, dib, rop);
}

void OldStyleDecoder::state(std::uint16_t function, RecordReader& r) {
    State& s = m_p.state();
    const std::uint16_t v = r.u16(kParams);
    if (!r.ok()) return;
    switch (function) {
    case kSetBkMode:
        if (v == TRANSPARENT || v == OPAQUE) s.bkMode = v;
        break;
    case kSetMapMode:
        m_p.setMapMode(v);
        break;
    case kSetPolyFillMode:
        if (v == ALTERNATE || v == WINDING) s.fillMode = v;
        break;
    case kSetStretchBltMode:
        if (v >= BLACKONWHITE && v <= HALFTONE) s.stretchMode = v;
        break;
    case kSetTextAlign:
        s.textAlign = v;
        break;
    case kRestoreDC:
        m_p.restore(static_cast<std::int16_t>(v));
        break;
    case kSelectObject:
        if (const Object* o = m_p.object(v)) m_p.select(*o);
        break;
    case kSelectClipRegion:
        if (const Object* o = m_p.object(v); o != nullptr && o->kind == Object::Kind::Region)
            m_p.select(*o);
        else
            m_p.resetClip();
        break;
    case kDeleteObject:
        m_p.erase(v);
        break;
    default: { // the two colours
        const COLORREF c = r.u32(kParams);
        if (r.ok()) (function == kSetTextColor ? s.textColour : s.bkColour) = c;
        break;
    }
    }
}

void OldStyleDecoder::play(std::uint16_t function, RecordReader& r) {
    switch (function) {
    case kCreatePalette:
    case kCreatePenIndirect:
    case kCreateFontIndirect:
    case kCreateBrushIndirect:
    case kDibCreatePatternBrush:
    case kCreatePatternBrush:
    case kCreateRegion:
        create(function, r);
        break;
    case kEllipse:
    case kRectangle:
    case kRoundRect:
    case kArc:
    case kPie:
    case kChord:
        figure(function, r);
        break;
    case kPolygon:
    case kPolyline:
    case kPolyPolygon:
        poly(function, r);
        break;
    case kTextOut:
        textOut(r);
        break;
    case kExtTextOut:
        extTextOut(r);
        break;
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
    case kSetDibToDev:
        bitmap(function, r);
        break;
    case kSetBkMode:
    case kSetMapMode:
    case kSetPolyFillMode:
    case kSetStretchBltMode:
    case kSetTextAlign:
    case kRestoreDC:
    case kSelectObject:
    case kSelectClipRegion:
    case kDeleteObject:
    case kSetBkColor:
    case kSetTextColor:
        state(function, r);
        break;
    case kSaveDC:
        m_p.save();
        break;
    case kSetWindowOrg:
    case kSetWindowExt:
    case kOffsetWindowOrg:
    case kMoveTo:
    case kLineTo:
    case kSetPixel: {
        const std::size_t at = function == kSetPixel ? kParams + 4 : kParams;
        const double y = r.i16(at), x = r.i16(at + 2);
        if (!r.ok()) break;
        if (function == kSetWindowOrg)
            m_p.setWindowOrg(x, y);
        else if (function == kSetWindowExt)
            m_p.setWindowExt(x, y);
        else if (function == kOffsetWindowOrg)
            m_p.offsetWindowOrg(x, y);
        else if (function == kMoveTo)
            m_p.moveTo(x, y);
        else if (function == kLineTo)
            m_p.lineTo(x, y);
        else
            m_p.setPixel(x, y, r.u32(kParams));
        break;
    }
    case kScaleWindowExt: {
        const double yDenom = r.i16(kParams), yNum = r.i16(kParams + 2);
        const double xDenom = r.i16(kParams + 4), xNum = r.i16(kParams + 6);
        if (r.ok()) m_p.scaleWindowExt(xNum, xDenom, yNum, yDenom);
        break;
    }
    case kIntersectClipRect: {
        const double b = r.i16(kParams), rt = r.i16(kParams + 2);
        const double t = r.i16(kParams + 4), l = r.i16(kParams + 6);
        if (r.ok()) m_p.intersectClip(l, t, rt, b);
        break;
    }
    case kPatBlt: {
        const DWORD rop = r.u32(kParams);
        const double h = r.i16(kParams + 4), w = r.i16(kParams + 6);
        const double y = r.i16(kParams + 8), x = r.i16(kParams + 10);
        if (r.ok()) m_p.patBlt(x, y, w, h, rop);
        break;
    }
    default:
        break;
    }
}

void playAll(Player& player, const std::vector<BYTE>& bits) {
    OldStyleDecoder decoder(player);
    walkRecords(bits, [&](std::uint16_t function, RecordReader& r) { decoder.play(function, r); });
}

bool setsItsWindow(const std::vector<BYTE>& bits) {
    bool found = false;
    walkRecords(bits, [&](std::uint16_t function, RecordReader&) {
        found = found || function == kSetWindowExt;
    });
    return found;
}

} // namespace
} // namespace meta

void playOldStyleRecords(HDC dc, const std::vector<BYTE>& bits, const RECT& frame,
                         const RECT& rect) {
    using namespace meta;
    Setup setup;
    Mapping& m = setup.mapping;
    m.mode = MM_ANISOTROPIC;
    if (!setsItsWindow(bits)) {
        Player measure(nullptr, setup);
        playAll(measure, bits);
        if (measure.hasBounds()) {
            const RECT& b = measure.bounds();
            m.windowOrgX = b.left;
            m.windowOrgY = b.top;
            m.windowExtX = std::max<LONG>(1, b.right - b.left);
            m.windowExtY = std::max<LONG>(1, b.bottom - b.top);
        }
    }
    m.viewportOrgX = rect.left;
    m.viewportOrgY = rect.top;
    m.viewportExtX = rect.right != rect.left ? static_cast<double>(rect.right) - rect.left : 1;
    m.viewportExtY = rect.bottom != rect.top ? static_cast<double>(rect.bottom) - rect.top : 1;
    const double mmX = (static_cast<double>(frame.right) - frame.left) / 100;
    const double mmY = (static_cast<double>(frame.bottom) - frame.top) / 100;
    if (mmX > 0) setup.pixelsPerMmX = std::abs(m.viewportExtX) / mmX;
    if (mmY > 0) setup.pixelsPerMmY = std::abs(m.viewportExtY) / mmY;
    Player player(dc, setup);
    if (player.ready()) playAll(player, bits);
}

} // namespace winplat::gdi
