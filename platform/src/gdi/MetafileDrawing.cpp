// The player's figures, text, bitmaps and paths. Figures that the transform keeps upright go
// to the matching GDI call, so they look exactly as drawn directly; a rotated or sheared
// transform, or an open path, turns them into outlines first.
#include "gdi/Dib.h"
#include "gdi/MetafilePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace winplat::gdi::meta {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Segments for a curve of about `length` pixels.
int segmentsFor(double length, int least, int most) {
    if (!std::isfinite(length)) return most;
    return static_cast<int>(
        std::clamp(std::ceil(length / 2), static_cast<double>(least), static_cast<double>(most)));
}

PointF bezierPoint(const PointF& a, const PointF& b, const PointF& c, const PointF& d, double t) {
    const double u = 1 - t;
    const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
    return {a.x * w0 + b.x * w1 + c.x * w2 + d.x * w3, a.y * w0 + b.y * w1 + c.y * w2 + d.y * w3};
}

double distance(const PointF& a, const PointF& b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

// The points of cubic curves after `start`, three control points each.
std::vector<PointF> flattenBeziers(const PointF& start, const std::vector<PointF>& controls) {
    std::vector<PointF> out;
    PointF from = start;
    for (std::size_t i = 0; i + 2 < controls.size(); i += 3) {
        const PointF& b = controls[i];
        const PointF& c = controls[i + 1];
        const PointF& d = controls[i + 2];
        const int n = segmentsFor(distance(from, b) + distance(b, c) + distance(c, d), 2, 64);
        for (int k = 1; k <= n; ++k)
            out.push_back(bezierPoint(from, b, c, d, static_cast<double>(k) / n));
        from = d;
    }
    return out;
}

} // namespace

void Player::moveTo(double x, double y) {
    m_state.current = {x, y};
    const PointF p = toTarget(x, y);
    if (m_inPath) addFigure({p}, false);
}

void Player::lineTo(double x, double y) {
    const PointF from = toTarget(m_state.current.x, m_state.current.y);
    const PointF to = toTarget(x, y);
    m_state.current = {x, y};
    if (m_inPath) {
        extendFigure({to});
        return;
    }
    if (!prepare()) return;
    const POINT a = pixelOf(from);
    const POINT b = pixelOf(to);
    MoveToEx(m_dc, a.x, a.y, nullptr);
    LineTo(m_dc, b.x, b.y);
}

void Player::polyline(const std::vector<PointF>& points) {
    if (points.size() < 2) return;
    std::vector<PointF> t = targetPoints(points);
    if (m_inPath) {
        addFigure(std::move(t), false);
        return;
    }
    if (!prepare()) return;
    const std::vector<POINT> p = pixels(t);
    Polyline(m_dc, p.data(), static_cast<int>(p.size()));
}

void Player::polylineTo(const std::vector<PointF>& points) {
    if (points.empty()) return;
    std::vector<PointF> t = targetPoints(points);
    const PointF from = toTarget(m_state.current.x, m_state.current.y);
    m_state.current = points.back();
    if (m_inPath) {
        extendFigure(t);
        return;
    }
    t.insert(t.begin(), from);
    if (!prepare()) return;
    const std::vector<POINT> p = pixels(t);
    Polyline(m_dc, p.data(), static_cast<int>(p.size()));
}

void Player::polyBezier(const std::vector<PointF>& points, bool fromCurrent) {
    if (points.size() < (fromCurrent ? 3u : 4u)) return;
    std::vector<PointF> t = targetPoints(points);
    PointF start;
    if (fromCurrent) {
        start = toTarget(m_state.current.x, m_state.current.y);
        m_state.current = points[points.size() - 1 - (points.size() % 3)];
    } else {
        start = t.front();
        t.erase(t.begin());
    }
    std::vector<PointF> line = flattenBeziers(start, t);
    if (m_inPath) {
        if (fromCurrent) {
            extendFigure(line);
        } else {
            line.insert(line.begin(), start);
            addFigure(std::move(line), false);
        }
        return;
    }
    line.insert(line.begin(), start);
    if (line.size() < 2 || !prepare()) return;
    const std::vector<POINT> p = pixels(line);
    Polyline(m_dc, p.data(), static_cast<int>(p.size()));
}

void Player::polygon(const std::vector<PointF>& points) {
    if (points.size() < 2) return;
    std::vector<PointF> t = targetPoints(points);
    if (m_inPath) {
        addFigure(std::move(t), true);
        return;
    }
    if (!prepare()) return;
    const std::vector<POINT> p = pixels(t);
    Polygon(m_dc, p.data(), static_cast<int>(p.size()));
}

void Player::polyPolygon(const std::vector<std::vector<PointF>>& polygons) {
    std::vector<std::vector<PointF>> outlines;
    for (const std::vector<PointF>& poly : polygons)
        if (poly.size() >= 2) outlines.push_back(targetPoints(poly));
    if (outlines.empty()) return;
    if (m_inPath) {
        for (std::vector<PointF>& o : outlines)
            addFigure(std::move(o), true);
        return;
    }
    drawOutlines(outlines, true, true, true);
}

void Player::polyPolyline(const std::vector<std::vector<PointF>>& lines) {
    for (const std::vector<PointF>& l : lines)
        polyline(l);
}

void Player::rectangle(double left, double top, double right, double bottom) {
    std::vector<PointF> corners =
        targetPoints({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
    if (m_inPath) {
        addFigure(std::move(corners), true);
        return;
    }
    if (!prepare()) return;
    if (transform().axisAligned()) {
        const POINT a = pixelOf(corners[0]);
        const POINT b = pixelOf(corners[2]);
        Rectangle(m_dc, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                  std::max(a.y, b.y));
        return;
    }
    const std::vector<POINT> p = pixels(corners);
    Polygon(m_dc, p.data(), static_cast<int>(p.size()));
}

void Player::roundRect(double left, double top, double right, double bottom, double width,
                       double height) {
    const PointF a = toTarget(left, top);
    const PointF b = toTarget(right, bottom);
    if (!m_inPath && transform().axisAligned()) {
        if (!prepare()) return;
        const Affine& t = transform();
        const POINT p = pixelOf(a);
        const POINT q = pixelOf(b);
        const POINT corner = pixelOf({width * std::abs(t.m11), height * std::abs(t.m22)});
        RoundRect(m_dc, std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x),
                  std::max(p.y, q.y), corner.x, corner.y);
        return;
    }
    // Four quarter ellipses in logical space, joined.
    const double rx = std::min(std::abs(width), std::abs(right - left)) / 2;
    const double ry = std::min(std::abs(height), std::abs(bottom - top)) / 2;
    const double l = std::min(left, right), r = std::max(left, right);
    const double t = std::min(top, bottom), bt = std::max(top, bottom);
    const double cx[4] = {r - rx, l + rx, l + rx, r - rx};
    const double cy[4] = {t + ry, t + ry, bt - ry, bt - ry};
    std::vector<PointF> outline;
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k <= 8; ++k) {
            const double angle = (c + k / 8.0) * kPi / 2;
            outline.push_back(toTarget(cx[c] + rx * std::cos(angle), cy[c] - ry * std::sin(angle)));
        }
    if (m_inPath) {
        addFigure(std::move(outline), true);
        return;
    }
    drawOutlines({outline}, true, true, true);
}

std::vector<PointF> Player::ellipseOutline(double left, double top, double right, double bottom) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::abs(right - left) / 2, ry = std::abs(bottom - top) / 2;
    const int n = segmentsFor(kPi * (rx + ry) * lengthScale(), 16, 1024);
    std::vector<PointF> out;
    for (int k = 0; k < n; ++k) {
        const double angle = 2 * kPi * k / n;
        out.push_back(toTarget(cx + rx * std::cos(angle), cy - ry * std::sin(angle)));
    }
    return out;
}

void Player::ellipse(double left, double top, double right, double bottom) {
    if (!m_inPath && transform().axisAligned()) {
        const POINT a = pixelOf(toTarget(left, top));
        const POINT b = pixelOf(toTarget(right, bottom));
        if (!prepare()) return;
        Ellipse(m_dc, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                std::max(a.y, b.y));
        return;
    }
    std::vector<PointF> outline = ellipseOutline(left, top, right, bottom);
    if (m_inPath) {
        addFigure(std::move(outline), true);
        return;
    }
    drawOutlines({outline}, true, true, true);
}

// Arcs run counterclockwise on the target unless the metafile asked for clockwise; a
// transform that mirrors turns logical angles the other way.
std::vector<PointF> Player::arcOutline(ArcKind kind, double left, double top, double right,
                                       double bottom, double xStart, double yStart, double xEnd,
                                       double yEnd) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::abs(right - left) / 2, ry = std::abs(bottom - top) / 2;
    const auto angleOf = [&](double x, double y) {
        return std::atan2(-(y - cy) / (ry > 0 ? ry : 1), (x - cx) / (rx > 0 ? rx : 1));
    };
    const Affine& t = transform();
    const bool mirrored = t.m11 * t.m22 - t.m12 * t.m21 < 0;
    const bool increasing = mirrored == m_state.clockwise;
    const double from = angleOf(xStart, yStart);
    double to = angleOf(xEnd, yEnd);
    if (increasing && to <= from) to += 2 * kPi;
    if (!increasing && to >= from) to -= 2 * kPi;
    const int n = segmentsFor(std::abs(to - from) * (rx + ry) * lengthScale(), 4, 1024);
    std::vector<PointF> logical;
    for (int k = 0; k <= n; ++k) {
        const double angle = from + (to - from) * k / n;
        logical.push_back({cx + rx * std::cos(angle), cy - ry * std::sin(angle)});
    }
    if (kind == ArcKind::ArcTo) m_state.current = logical.back();
    if (kind == ArcKind::Pie) logical.push_back({cx, cy});
    return targetPoints(logical);
}

void Player::arc(ArcKind kind, double left, double top, double right, double bottom, double xStart,
                 double yStart, double xEnd, double yEnd) {
    if (kind != ArcKind::ArcTo && !m_inPath && transform().axisAligned()) {
        const POINT a = pixelOf(toTarget(left, top));
        const POINT b = pixelOf(toTarget(right, bottom));
        POINT s = pixelOf(toTarget(xStart, yStart));
        POINT e = pixelOf(toTarget(xEnd, yEnd));
        if (!prepare()) return;
        if (m_state.clockwise) std::swap(s, e);
        const RECT box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                       std::max(a.y, b.y)};
        if (kind == ArcKind::Arc)
            Arc(m_dc, box.left, box.top, box.right, box.bottom, s.x, s.y, e.x, e.y);
        else if (kind == ArcKind::Pie)
            Pie(m_dc, box.left, box.top, box.right, box.bottom, s.x, s.y, e.x, e.y);
        else
            Chord(m_dc, box.left, box.top, box.right, box.bottom, s.x, s.y, e.x, e.y);
        return;
    }
    const PointF from = toTarget(m_state.current.x, m_state.current.y);
    std::vector<PointF> outline =
        arcOutline(kind, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
    const bool closed = kind == ArcKind::Pie || kind == ArcKind::Chord;
    if (m_inPath) {
        if (kind == ArcKind::ArcTo)
            extendFigure(outline);
        else
            addFigure(std::move(outline), closed);
        return;
    }
    if (kind == ArcKind::ArcTo) outline.insert(outline.begin(), from);
    drawOutlines({outline}, closed, closed, true);
}

void Player::setPixel(double x, double y, COLORREF colour) {
    const POINT p = pixelOf(toTarget(x, y));
    if (!prepare()) return;
    SetPixel(m_dc, p.x, p.y, colour);
}

namespace {

BOOL extTextOut(HDC dc, POINT at, UINT options, const RECT* box, const std::string& text,
                const INT* steps) {
    return ExtTextOutA(dc, at.x, at.y, options, box, text.data(), static_cast<UINT>(text.size()),
                       steps);
}

BOOL extTextOut(HDC dc, POINT at, UINT options, const RECT* box, const std::u16string& text,
                const INT* steps) {
    return ExtTextOutW(dc, at.x, at.y, options, box, text.data(), static_cast<UINT>(text.size()),
                       steps);
}

SIZE extentOf(HDC dc, const std::string& text) {
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
    return extent;
}

SIZE extentOf(HDC dc, const std::u16string& text) {
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &extent);
    return extent;
}

} // namespace

void Player::text(double x, double y, UINT options, const double* rect, const std::string& bytes,
                  const std::vector<double>& advances) {
    drawText(x, y, options, rect, bytes, advances);
}

void Player::text(double x, double y, UINT options, const double* rect, const std::u16string& units,
                  const std::vector<double>& advances) {
    drawText(x, y, options, rect, units, advances);
}

template <class Text>
void Player::drawText(double x, double y, UINT options, const double* rect, const Text& chars,
                      const std::vector<double>& advances) {
    const bool updateCp = (m_state.textAlign & 1u) != 0;
    const PointF origin = updateCp ? m_state.current : PointF{x, y};
    const POINT at = pixelOf(toTarget(origin.x, origin.y));
    const UINT boxOptions = options & (ETO_OPAQUE | ETO_CLIPPED);
    RECT box{};
    if (boxOptions != 0 && rect != nullptr) {
        const POINT a = pixelOf(toTarget(rect[0], rect[1]));
        const POINT b = pixelOf(toTarget(rect[2], rect[3]));
        box = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    if (!prepare(true)) return;
    const Affine& t = transform();
    std::vector<INT> steps;
    double total = 0;
    if (!advances.empty() && advances.size() >= chars.size()) {
        long before = 0;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            total += advances[i];
            const long after = roundedLong(total * t.m11, 1 << 29);
            steps.push_back(static_cast<INT>(after - before));
            before = after;
        }
    }
    extTextOut(m_dc, at, rect != nullptr ? boxOptions : 0,
               boxOptions != 0 && rect != nullptr ? &box : nullptr, chars,
               steps.empty() ? nullptr : steps.data());
    if (!updateCp) return;
    if (steps.empty()) {
        const SIZE extent = extentOf(m_dc, chars);
        total = t.m11 != 0 ? extent.cx / t.m11 : 0;
    }
    m_state.current.x += total;
}

void Player::bitmap(double x, double y, double width, double height, int srcX, int srcY,
                    int srcWidth, int srcHeight, const Dib& dib, DWORD rop) {
    const POINT a = pixelOf(toTarget(x, y));
    const POINT b = pixelOf(toTarget(x + width, y + height));
    if (!prepare()) return;
    StretchDIBits(m_dc, a.x, a.y, b.x - a.x, b.y - a.y, srcX, srcY, srcWidth, srcHeight,
                  dib.pixels(), dib.header(), DIB_RGB_COLORS, rop);
}

void Player::patBlt(double x, double y, double width, double height, DWORD rop) {
    const POINT a = pixelOf(toTarget(x, y));
    const POINT b = pixelOf(toTarget(x + width, y + height));
    if (!prepare()) return;
    PatBlt(m_dc, a.x, a.y, b.x - a.x, b.y - a.y, rop);
}

namespace {

// The target is blended a piece at a time, so that the scratch stays this size (1 MiB of
// 32-bit pixels) however large the picture is.
constexpr int kPiecePixels = 1 << 18;

// A 32-bit top-down DIB section in its own memory DC, for one piece of the target.
class PixelBuffer {
public:
    PixelBuffer(HDC like, int width, int height) : m_width(width) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(like, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_dc = m_bitmap != nullptr ? CreateCompatibleDC(like) : nullptr;
        if (m_dc != nullptr) m_old = SelectObject(m_dc, m_bitmap);
        m_bits = static_cast<std::uint32_t*>(bits);
    }
    ~PixelBuffer() {
        if (m_dc != nullptr) {
            SelectObject(m_dc, m_old);
            DeleteDC(m_dc);
        }
        if (m_bitmap != nullptr) DeleteObject(m_bitmap);
    }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    bool ok() const { return m_dc != nullptr && m_bits != nullptr; }
    HDC dc() const { return m_dc; }
    std::uint32_t* row(int y) { return m_bits + static_cast<std::size_t>(y) * m_width; }
    // Pixels that a copy from the target cannot read must not keep the last piece's colours.
    void clear(int rows) {
        std::fill_n(m_bits, static_cast<std::size_t>(rows) * m_width, std::uint32_t{0});
    }

private:
    int m_width;
    HBITMAP m_bitmap = nullptr;
    HDC m_dc = nullptr;
    HGDIOBJ m_old = nullptr;
    std::uint32_t* m_bits = nullptr;
};

// The DIB's pixels as the blend takes them: the channels, in a 32-bit DIB's order, already
// weighted by the constant alpha (premultiplied sources carry their own alpha, plain ones take
// it here), and in the top byte the alpha that the target gives way to.
class BlendSource {
public:
    BlendSource(const Dib& dib, DWORD blend)
        : m_ok(readDibFormat(dib.header(), m_format)),
          m_surface(m_ok ? dibSurface(m_format, dib.pixels()) : Surface{}), m_decode(m_surface),
          m_constant(static_cast<int>((blend >> 16) & 0xFF)),
          m_perPixel((blend & kSourceAlpha) != 0),
          // A 32-bit DIB keeps an alpha in its top byte unless its masks take that byte.
          m_alphaInPixels(
              m_format.bits == 32 &&
              ((m_format.masks[0] | m_format.masks[1] | m_format.masks[2]) & 0xFF000000u) == 0) {}
    BlendSource(const BlendSource&) = delete;
    BlendSource& operator=(const BlendSource&) = delete;

    bool ok() const { return m_ok; }

    // (x, y) from the top left of the DIB.
    std::uint32_t at(int x, int y) {
        const DWORD raw = m_surface.raw(x, y);
        if (m_haveLast && raw == m_lastRaw) return m_last;
        const COLORREF c = m_decode(raw);
        const int own = m_alphaInPixels ? static_cast<int>(raw >> 24) : 255;
        const int alpha = m_perPixel ? own * m_constant / 255 : m_constant;
        const auto weighted = [&](BYTE channel) {
            return static_cast<std::uint32_t>(channel * m_constant / 255);
        };
        m_last = static_cast<std::uint32_t>(alpha) << 24 | weighted(GetRValue(c)) << 16 |
                 weighted(GetGValue(c)) << 8 | weighted(GetBValue(c));
        m_lastRaw = raw;
        m_haveLast = true;
        return m_last;
    }

private:
    static constexpr DWORD kSourceAlpha = 0x01000000u; // AC_SRC_ALPHA in the blend function

    DibFormat m_format;
    bool m_ok;
    Surface m_surface;
    ColourDecoder m_decode;
    int m_constant;
    bool m_perPixel;
    bool m_alphaInPixels;
    bool m_haveLast = false;
    DWORD m_lastRaw = 0;
    std::uint32_t m_last = 0;
};

// Target pixels of a 32-bit DIB section with the weighted source pixels laid over them.
void blendRow(std::uint32_t* target, const std::uint32_t* source, int count) {
    const auto channel = [](std::uint32_t s, std::uint32_t d, std::uint32_t keep, int shift) {
        const std::uint32_t v = ((s >> shift) & 0xFFu) + ((d >> shift) & 0xFFu) * keep / 255;
        return std::min(v, 0xFFu) << shift;
    };
    for (int i = 0; i < count; ++i) {
        const std::uint32_t s = source[i];
        const std::uint32_t d = target[i];
        const std::uint32_t keep = 255 - (s >> 24);
        target[i] = channel(s, d, keep, 0) | channel(s, d, keep, 8) | channel(s, d, keep, 16);
    }
}

} // namespace

void Player::alphaBlend(double x, double y, double width, double height, int srcX, int srcY,
                        int srcWidth, int srcHeight, const Dib& dib, DWORD blend) {
    const POINT a = pixelOf(toTarget(x, y));
    const POINT b = pixelOf(toTarget(x + width, y + height));
    if (!prepare()) return;
    const BITMAPINFOHEADER& h = dib.header()->bmiHeader;
    const int dibWidth = h.biWidth;
    const int dibHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const long long wide = static_cast<long long>(b.x) - a.x;
    const long long high = static_cast<long long>(b.y) - a.y;
    if (wide == 0 || high == 0 || srcWidth <= 0 || srcHeight <= 0 || srcX < 0 || srcY < 0 ||
        srcWidth > dibWidth - srcX || srcHeight > dibHeight - srcY)
        return;
    RECT visible{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    RECT clip{};
    if (GetClipBox(m_dc, &clip) == ERROR) return;
    visible = intersect(visible, clip);
    const int vw = visible.right - visible.left;
    const int vh = visible.bottom - visible.top;
    if (vw <= 0 || vh <= 0) return;

    // A one-bit DIB the record can hold may still be too many pixels to blend.
    constexpr long long kMaxSourcePixels = 1 << 24;
    if (static_cast<long long>(dibWidth) * dibHeight > kMaxSourcePixels) return;
    BlendSource source(dib, blend);
    const int pieceWidth = std::min(vw, kPiecePixels);
    const int pieceHeight = std::min(vh, std::max(1, kPiecePixels / pieceWidth));
    PixelBuffer piece(m_dc, pieceWidth, pieceHeight);
    if (!source.ok() || !piece.ok()) return;
    // The source column under each column of a piece, and the source row under its rows.
    std::vector<int> columns(static_cast<std::size_t>(pieceWidth));
    std::vector<std::uint32_t> sampled(static_cast<std::size_t>(pieceWidth));
    for (int left = visible.left; left < visible.right; left += pieceWidth) {
        const int pw = std::min(pieceWidth, visible.right - left);
        for (int i = 0; i < pw; ++i) {
            const double fx = (left + i + 0.5 - a.x) / static_cast<double>(wide);
            columns[static_cast<std::size_t>(i)] =
                std::clamp(static_cast<int>(fx * srcWidth), 0, srcWidth - 1);
        }
        int sampledRow = -1;
        for (int top = visible.top; top < visible.bottom; top += pieceHeight) {
            const int ph = std::min(pieceHeight, visible.bottom - top);
            piece.clear(ph);
            if (!BitBlt(piece.dc(), 0, 0, pw, ph, m_dc, left, top, SRCCOPY)) return;
            for (int j = 0; j < ph; ++j) {
                const double fy = (top + j + 0.5 - a.y) / static_cast<double>(high);
                const int sy = std::clamp(static_cast<int>(fy * srcHeight), 0, srcHeight - 1);
                if (sy != sampledRow) {
                    for (int i = 0; i < pw; ++i)
                        sampled[static_cast<std::size_t>(i)] =
                            source.at(srcX + columns[static_cast<std::size_t>(i)], srcY + sy);
                    sampledRow = sy;
                }
                blendRow(piece.row(j), sampled.data(), pw);
            }
            BitBlt(m_dc, left, top, pw, ph, piece.dc(), 0, 0, SRCCOPY);
        }
    }
}

// Outlines in target coordinates: the fill covers them all by the fill mode, the pen goes
// round each.
void Player::drawOutlines(const std::vector<std::vector<PointF>>& target, bool closed, bool fill,
                          bool stroke) {
    if (!prepare()) return;
    std::vector<POINT> all;
    std::vector<INT> counts;
    for (const std::vector<PointF>& o : target) {
        if (o.size() < 2) continue;
        const std::vector<POINT> p = pixels(o);
        all.insert(all.end(), p.begin(), p.end());
        counts.push_back(static_cast<INT>(p.size()));
    }
    if (counts.empty()) return;
    if (fill) {
        if (!stroke) SelectObject(m_dc, GetStockObject(NULL_PEN));
        PolyPolygon(m_dc, all.data(), counts.data(), static_cast<int>(counts.size()));
        if (!stroke) SelectObject(m_dc, m_pen);
        if (stroke && closed) return;
    }
    if (!stroke) return;
    std::size_t start = 0;
    for (INT n : counts) {
        std::vector<POINT> line(all.begin() + static_cast<std::ptrdiff_t>(start),
                                all.begin() + static_cast<std::ptrdiff_t>(start + n));
        if (closed) line.push_back(line.front());
        Polyline(m_dc, line.data(), static_cast<int>(line.size()));
        start += static_cast<std::size_t>(n);
    }
}

// Paths.

void Player::beginPath() {
    m_path.clear();
    m_inPath = true;
}

void Player::abortPath() {
    m_path.clear();
    m_inPath = false;
}

void Player::closeFigure() {
    if (!m_path.empty()) m_path.back().closed = true;
}

void Player::addFigure(std::vector<PointF> target, bool closed) {
    // A lone point left by a move is replaced by what follows it.
    if (!m_path.empty() && m_path.back().points.size() == 1 && !m_path.back().closed)
        m_path.pop_back();
    m_path.push_back(Figure{std::move(target), closed});
}

void Player::extendFigure(const std::vector<PointF>& target) {
    if (m_path.empty() || m_path.back().closed) {
        // The figure goes on from where the last one was closed or the pen stands.
        const PointF from = !m_path.empty() ? m_path.back().points.front()
                                            : toTarget(m_state.current.x, m_state.current.y);
        m_path.push_back(Figure{{from}, false});
    }
    std::vector<PointF>& points = m_path.back().points;
    points.insert(points.end(), target.begin(), target.end());
}

void Player::finishPath(bool stroke, bool fill) {
    m_inPath = false;
    std::vector<std::vector<PointF>> open;
    std::vector<std::vector<PointF>> closed;
    std::vector<std::vector<PointF>> all;
    for (Figure& f : m_path) {
        if (f.points.size() < 2) continue;
        all.push_back(f.points);
        (f.closed ? closed : open).push_back(std::move(f.points));
    }
    m_path.clear();
    if (fill && !all.empty()) drawOutlines(all, true, true, false);
    if (!stroke) return;
    if (!closed.empty()) drawOutlines(closed, true, false, true);
    if (!open.empty()) drawOutlines(open, false, false, true);
}

} // namespace winplat::gdi::meta
