// Block transfers between surfaces with any ternary raster operation, stretched to the nearest
// pixel and shrunk as the DC's stretch mode says. A monochrome device bitmap becomes the
// destination's text colour (0) and background colour (1) on a colour surface; a colour surface
// copied onto one gives white where it shows the source DC's background colour and black elsewhere.
// That is how masks are made.
#include "gdi/Device.h"
#include "gdi/Dib.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace winplat::gdi {
namespace {

struct Source {
    const Surface* surface = nullptr;
    RECT area{0, 0, 0, 0}; // the part of the surface that may be read
    const DeviceContext* dc = nullptr;
    const std::vector<bool>* written = nullptr;   // pixels a run-length DIB set, top row first
    const std::vector<RunRow>* runRows = nullptr; // and the rows it set them in
};

// Bits 16..23 of a raster operation: result bit for pattern * 4 + source * 2 + destination.
struct Rop {
    explicit Rop(DWORD rop) : table((rop >> 16) & 0xFFu) {}
    BYTE table;
    bool usesSource() const { return ((table >> 2) & 0x33u) != (table & 0x33u); }
    bool usesPattern() const { return ((table >> 4) & 0x0Fu) != (table & 0x0Fu); }
    bool usesDestination() const { return ((table >> 1) & 0x55u) != (table & 0x55u); }
    COLORREF apply(COLORREF p, COLORREF s, COLORREF d) const {
        DWORD r = 0;
        for (int i = 0; i < 8; ++i)
            if (((table >> i) & 1u) != 0)
                r |= ((i & 4) != 0 ? p : ~p) & ((i & 2) != 0 ? s : ~s) & ((i & 1) != 0 ? d : ~d);
        return r & 0x00FFFFFFu;
    }
};

// Source coordinate for destination offset i of n, the source span being `span` wide.
int sample(int i, int n, int start, int span, bool mirror) {
    const long long offset = (2LL * i + 1) * span / (2LL * n);
    return static_cast<int>(mirror ? start + span - 1 - offset : start + offset);
}

// The source coordinates [first, first + count) that destination offset i of n stands for
// when shrinking: together they cover the span once.
struct Cover {
    int first;
    int count;
};

Cover cover(int i, int n, int start, int span, bool mirror) {
    if (span <= n) return {sample(i, n, start, span, mirror), 1};
    const long long lo = static_cast<long long>(i) * span / n;
    const long long hi = (static_cast<long long>(i) + 1) * span / n;
    const long long first = mirror ? start + span - hi : start + lo;
    return {static_cast<int>(first), static_cast<int>(hi - lo)};
}

bool sameCover(const Cover& a, const Cover& b) {
    return a.first == b.first && a.count == b.count;
}

// The part of a cover within [lo, hi): a span reaching far past the source costs nothing there.
Cover within(const Cover& c, LONG lo, LONG hi) {
    const long long first = std::max<long long>(c.first, lo);
    const long long end = std::min<long long>(static_cast<long long>(c.first) + c.count, hi);
    if (end <= first) return {c.first, 0};
    return {static_cast<int>(first), static_cast<int>(end - first)};
}

// The rows of a run-length DIB's list that a cover of rows takes.
struct RunRows {
    const RunRow* from = nullptr;
    const RunRow* to = nullptr;
};

RunRows runRowsWithin(const std::vector<RunRow>& all, const Cover& rows) {
    const auto above = [](const RunRow& row, int y) { return row.y < y; };
    const RunRow* end = all.data() + all.size();
    RunRows out;
    out.from = std::lower_bound(all.data(), end, rows.first, above);
    out.to = std::lower_bound(out.from, end, rows.first + rows.count, above);
    return out;
}

// What shrinking makes of the source pixels that fall on one destination pixel.
class Shrink {
public:
    explicit Shrink(int mode) : m_mode(mode) {}
    void add(COLORREF c, unsigned long long copies = 1) {
        if (m_count == 0) m_and = m_or = c;
        m_and &= c;
        m_or |= c;
        m_sum[0] += GetRValue(c) * copies;
        m_sum[1] += GetGValue(c) * copies;
        m_sum[2] += GetBValue(c) * copies;
        m_count += copies;
    }
    bool empty() const { return m_count == 0; }
    COLORREF result() const {
        switch (m_mode) {
        case WHITEONBLACK:
            return m_or;
        case HALFTONE: {
            const auto mean = [&](int k) {
                return static_cast<BYTE>((m_sum[k] + m_count / 2) / m_count);
            };
            return RGB(mean(0), mean(1), mean(2));
        }
        default:
            return m_and;
        }
    }

private:
    int m_mode;
    COLORREF m_and = 0, m_or = 0;
    unsigned long long m_sum[3] = {0, 0, 0};
    unsigned long long m_count = 0;
};

// Colours of raw values, the last one kept: neighbouring pixels mostly share one.
class CachedColour {
public:
    explicit CachedColour(const Surface& surface) : m_decode(surface) {}
    COLORREF operator()(DWORD raw) {
        if (!m_have || raw != m_raw) {
            m_colour = m_decode(raw);
            m_raw = raw;
            m_have = true;
        }
        return m_colour;
    }

private:
    ColourDecoder m_decode;
    bool m_have = false;
    DWORD m_raw = 0;
    COLORREF m_colour = 0;
};

struct SourceReader {
    SourceReader(const Source& src, const DeviceContext& dst)
        : m_src(src), m_srcSurface(*src.surface), m_dstMono(dst.surface().monochrome),
          m_colourOf(*src.surface) {
        if (m_srcSurface.monochrome && !m_dstMono) {
            m_zero = dst.resolve(dst.textColour);
            m_one = dst.resolve(dst.bkColour);
        }
        if (!m_srcSurface.monochrome && m_dstMono && src.dc != nullptr) {
            PaletteEncoder encoder(*src.dc);
            m_background = m_srcSurface.colourOf(encoder.ink(src.dc->bkColour));
            m_toMono = true;
        }
    }
    // Where readable pixels can be: the source's area within its surface.
    RECT bounds() const {
        const RECT& a = m_src.area;
        return {std::max<LONG>(a.left, 0), std::max<LONG>(a.top, 0),
                std::min<LONG>(a.right, m_srcSurface.width),
                std::min<LONG>(a.bottom, m_srcSurface.height)};
    }
    bool readable(int x, int y) const {
        const RECT& a = m_src.area;
        return x >= a.left && y >= a.top && x < a.right && y < a.bottom &&
               m_srcSurface.contains(x, y) && set(x, y);
    }
    // Whether a pixel within bounds() holds a value: run-length DIBs leave some unset.
    bool set(int x, int y) const {
        return m_src.written == nullptr ||
               (*m_src.written)[static_cast<std::size_t>(y) * m_srcSurface.width + x];
    }
    const Surface& surface() const { return m_srcSurface; }
    COLORREF colour(int x, int y) const { return colourOfRaw(m_srcSurface.raw(x, y)); }
    COLORREF colourOfRaw(DWORD raw) const {
        if (m_srcSurface.monochrome && !m_dstMono) return raw != 0 ? m_one : m_zero;
        const COLORREF c = m_colourOf(raw);
        if (m_toMono) return c == m_background ? RGB(255, 255, 255) : RGB(0, 0, 0);
        return c;
    }
    // Calls `take(raw, count)` for runs of equal raw values among the pixels x0 <= x < x1 of
    // row y (within bounds()) that hold one. A stretch of one value (a flat area, the
    // zero-filled rest of a short file) shows as bytes equal to themselves a pixel on, and is
    // taken whole.
    template <class Take> void eachRun(int y, int x0, int x1, Take& take) const {
        const Surface& s = m_srcSurface;
        const auto pixels = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                if (set(x, y)) take(s.raw(x, y), 1);
        };
        if (m_src.written != nullptr || x1 - x0 < 2) {
            pixels(x0, x1);
            return;
        }
        const BYTE* p = s.row(y);
        if (s.bits >= 8) {
            const std::size_t bytes = static_cast<std::size_t>(s.pixelBytes());
            const std::size_t n = static_cast<std::size_t>(x1 - x0);
            const BYTE* at = p + bytes * static_cast<std::size_t>(x0);
            if (std::memcmp(at, at + bytes, (n - 1) * bytes) == 0) {
                take(s.rawAt(at), n);
                return;
            }
            for (std::size_t k = 0; k < n; ++k, at += bytes)
                take(s.rawAt(at), 1);
            return;
        }
        // Below 8 bits the whole bytes go at once when they are equal and each repeats one
        // pixel; the pixels on either side of them one at a time.
        const int perByte = 8 / s.bits;
        const int first = (x0 + perByte - 1) / perByte;
        const int end = x1 / perByte;
        if (end <= first) {
            pixels(x0, x1);
            return;
        }
        pixels(x0, first * perByte);
        const DWORD value = s.raw(first * perByte, y);
        const BYTE repeated =
            static_cast<BYTE>(s.bits == 1 ? (value != 0 ? 0xFF : 0) : value * 0x11);
        if (p[first] == repeated &&
            std::memcmp(p + first, p + first + 1, static_cast<std::size_t>(end - first - 1)) == 0)
            take(value, static_cast<unsigned long long>(end - first) * perByte);
        else
            pixels(first * perByte, end * perByte);
        pixels(end * perByte, x1);
    }

private:
    const Source& m_src;
    const Surface& m_srcSurface;
    bool m_dstMono;
    bool m_toMono = false;
    COLORREF m_zero = 0, m_one = 0, m_background = 0;
    mutable CachedColour m_colourOf;
};

// The source pixels of one target pixel, gathered a run of equal raw values at a time so that
// each run becomes a colour once: large areas of one value cost little more than reading them.
class Gather {
public:
    Gather(const SourceReader& reader, int mode) : m_reader(reader), m_shrink(mode) {}
    void operator()(DWORD raw, unsigned long long count) {
        if (m_run != 0 && raw == m_last) {
            m_run += count;
            return;
        }
        flush();
        m_last = raw;
        m_run = count;
    }
    const Shrink& done() {
        flush();
        return m_shrink;
    }

private:
    void flush() {
        if (m_run != 0) m_shrink.add(m_reader.colourOfRaw(m_last), m_run);
        m_run = 0;
    }

    const SourceReader& m_reader;
    Shrink m_shrink;
    DWORD m_last = 0;
    unsigned long long m_run = 0;
};

// Shrinks a target row at a time. Target columns that take the same source columns form a
// group; one walk down the source rows of the target row fills a chunk of groups, each source
// row read once, and a row whose pixels repeat the row above is counted again, not read again.
class RowShrinker {
public:
    RowShrinker(const SourceReader& reader, int mode, const std::vector<Cover>& cols,
                const RECT& bounds, const std::vector<RunRow>* runRows)
        : m_reader(reader), m_mode(mode), m_cols(cols), m_bounds(bounds), m_runRows(runRows) {}

    // Values (and whether any source pixel stood behind them) of the target columns of a row
    // that takes source rows `rows`.
    void shrink(const Cover& rows, DWORD* value, unsigned char* got) {
        const Cover rowsIn = within(rows, m_bounds.top, m_bounds.bottom);
        const std::size_t columns = m_cols.size();
        for (std::size_t i = 0; i < columns;) {
            i = nextChunk(i);
            walk(rowsIn);
            for (std::size_t g = 0; g < m_groups.size(); ++g) {
                const Shrink& shrink = m_gathers[g].done();
                for (std::size_t t = m_groups[g].first; t < m_groups[g].end; ++t) {
                    got[t] = shrink.empty() ? 0 : 1;
                    if (!shrink.empty()) value[t] = shrink.result();
                }
            }
        }
    }

private:
    // A target row's groups are tallied this many at a time, so that a target of millions of
    // columns needs no more tallies than this.
    static constexpr std::size_t kChunk = 4096;
    static constexpr int kMostRowsUnchecked = 31;

    struct Group {
        std::size_t first, end; // target columns
        Cover cols;             // within the source's bounds
    };

    // Groups the target columns from `i` on; returns where the next chunk begins.
    std::size_t nextChunk(std::size_t i) {
        m_groups.clear();
        m_gathers.clear();
        m_lo = m_bounds.right;
        m_hi = m_bounds.left;
        const std::size_t columns = m_cols.size();
        while (i < columns && m_groups.size() < kChunk) {
            std::size_t end = i + 1;
            while (end < columns && sameCover(m_cols[end], m_cols[i]))
                ++end;
            const Cover in = within(m_cols[i], m_bounds.left, m_bounds.right);
            m_groups.push_back({i, end, in});
            m_gathers.emplace_back(m_reader, m_mode);
            if (in.count > 0) {
                m_lo = std::min<LONG>(m_lo, in.first);
                m_hi = std::max<LONG>(m_hi, in.first + in.count);
            }
            i = end;
        }
        // A mirrored target takes the source columns right to left; lookups want them rising.
        if (m_groups.front().cols.first > m_groups.back().cols.first)
            std::reverse(m_groups.begin(), m_groups.end());
        return i;
    }

    void walk(const Cover& rows) {
        if (m_lo >= m_hi) return;
        if (m_runRows != nullptr) {
            const RunRows runs = runRowsWithin(*m_runRows, rows);
            for (const RunRow* run = runs.from; run != runs.to; ++run)
                addRow(run->y, std::max<int>(run->first, m_lo), std::min<int>(run->end, m_hi), 1);
            return;
        }
        int last = 0;
        unsigned long long copies = 0;
        // Rows that keep differing are compared less and less often, so that a busy image
        // pays little for the comparisons; one that matches brings them back at every row.
        int unchecked = 0, skip = 0;
        for (int y = rows.first; y < rows.first + rows.count; ++y) {
            if (copies != 0 && unchecked == 0) {
                if (sameRow(y, last)) {
                    ++copies;
                    skip = 0;
                    continue;
                }
                skip = std::min(2 * skip + 1, kMostRowsUnchecked);
                unchecked = skip;
            } else if (unchecked > 0) {
                --unchecked;
            }
            if (copies != 0) addRow(last, m_lo, m_hi, copies);
            last = y;
            copies = 1;
        }
        if (copies != 0) addRow(last, m_lo, m_hi, copies);
    }

    // Whether rows a and b hold the same pixels in the chunk's columns (checked by whole bytes,
    // so pixels beside them may make it answer no, never a wrong yes).
    bool sameRow(int a, int b) const {
        const Surface& s = m_reader.surface();
        const std::size_t from = static_cast<std::size_t>(m_lo) * s.bits / 8;
        const std::size_t to = (static_cast<std::size_t>(m_hi) * s.bits + 7) / 8;
        return std::memcmp(s.row(a) + from, s.row(b) + from, to - from) == 0;
    }

    // Source pixels x0 <= x < x1 of row y, counted `copies` times, into the groups they fall in.
    void addRow(int y, int x0, int x1, unsigned long long copies) {
        const auto endsAfter = [](const Group& g, int x) {
            return g.cols.first + g.cols.count <= x;
        };
        auto g = std::lower_bound(m_groups.begin(), m_groups.end(), x0, endsAfter);
        for (; g != m_groups.end() && g->cols.first < x1; ++g) {
            if (g->cols.count == 0) continue;
            Gather& gather = m_gathers[static_cast<std::size_t>(g - m_groups.begin())];
            const int from = std::max(g->cols.first, x0);
            const int to = std::min(g->cols.first + g->cols.count, x1);
            // One column a group is the common case when the target is stretched across.
            if (to - from == 1) {
                if (m_reader.set(from, y)) gather(m_reader.surface().raw(from, y), copies);
                continue;
            }
            auto take = [&](DWORD raw, unsigned long long count) { gather(raw, count * copies); };
            m_reader.eachRun(y, from, to, take);
        }
    }

    const SourceReader& m_reader;
    int m_mode;
    const std::vector<Cover>& m_cols;
    RECT m_bounds;
    const std::vector<RunRow>* m_runRows;
    std::vector<Group> m_groups;
    std::vector<Gather> m_gathers;
    LONG m_lo = 0, m_hi = 0; // the source columns the chunk takes
};

// Each pixel of a run of row y replaced by what `f` makes of its raw value; the common depths
// walk the row's bytes.
template <class F> void mapRun(const Surface& s, int y, int x0, int x1, F& f) {
    BYTE* p = s.row(y);
    switch (s.bits) {
    case 8:
        for (int x = x0; x < x1; ++x)
            p[x] = static_cast<BYTE>(f(p[x]));
        break;
    case 32:
        for (BYTE* at = p + 4 * static_cast<std::size_t>(x0); x0 < x1; ++x0, at += 4) {
            DWORD v;
            std::memcpy(&v, at, 4);
            v = f(v);
            std::memcpy(at, &v, 4);
        }
        break;
    default:
        for (int x = x0; x < x1; ++x)
            s.setRaw(x, y, f(s.raw(x, y)));
        break;
    }
}

// Whether two surfaces' rows share memory, so that writing one may change what the other reads.
bool overlap(const Surface& a, const Surface& b) {
    const auto bounds = [](const Surface& s, std::uintptr_t& lo, std::uintptr_t& hi) {
        const auto first = reinterpret_cast<std::uintptr_t>(s.top);
        const auto last = reinterpret_cast<std::uintptr_t>(s.row(s.height - 1));
        const std::size_t step = static_cast<std::size_t>(s.step < 0 ? -s.step : s.step);
        lo = std::min(first, last);
        hi = std::max(first, last) + std::max(step, dibStride(s.width, s.bits));
    };
    if (a.top == nullptr || b.top == nullptr || a.height <= 0 || b.height <= 0) return false;
    std::uintptr_t alo = 0, ahi = 0, blo = 0, bhi = 0;
    bounds(a, alo, ahi);
    bounds(b, blo, bhi);
    return alo < bhi && blo < ahi;
}

// A plain copy between surfaces of one format at one size: the readable part of each row moves
// as bytes. Destination pixel (x, y) shows source pixel (x - dx, y - dy).
void copyRows(DeviceContext& dst, const RECT& target, const Source& src, long long dx,
              long long dy) {
    const Surface& in = *src.surface;
    const Surface& out = dst.surface();
    const RECT& a = src.area;
    const long long left = std::max<long long>(target.left, std::max<LONG>(a.left, 0) + dx);
    const long long right =
        std::min<long long>(target.right, std::min<LONG>(a.right, in.width) + dx);
    const long long top = std::max<long long>(target.top, std::max<LONG>(a.top, 0) + dy);
    const long long bottom =
        std::min<long long>(target.bottom, std::min<LONG>(a.bottom, in.height) + dy);
    if (left >= right || top >= bottom) return;
    const int l = static_cast<int>(left);
    const int r = static_cast<int>(right);
    const int t = static_cast<int>(top);
    const int b = static_cast<int>(bottom);
    const std::size_t bytes = static_cast<std::size_t>(out.pixelBytes());
    const std::size_t rowBytes = static_cast<std::size_t>(r - l) * bytes;
    const auto sourceRow = [&](int py) {
        return in.row(static_cast<int>(py - dy)) + static_cast<std::size_t>(l - dx) * bytes;
    };
    // Rows read first when the source is the destination's own memory.
    std::vector<BYTE> copy;
    if (overlap(in, out)) {
        copy.resize(rowBytes * static_cast<std::size_t>(b - t));
        for (int py = t; py < b; ++py)
            std::memcpy(copy.data() + static_cast<std::size_t>(py - t) * rowBytes, sourceRow(py),
                        rowBytes);
    }
    for (int py = t; py < b; ++py) {
        const BYTE* from = copy.empty() ? sourceRow(py)
                                        : copy.data() + static_cast<std::size_t>(py - t) * rowBytes;
        BYTE* to = out.row(py);
        drawableRuns(dst, py, l, r, [&](int x0, int x1) {
            std::memcpy(to + static_cast<std::size_t>(x0) * bytes,
                        from + static_cast<std::size_t>(x0 - l) * bytes,
                        static_cast<std::size_t>(x1 - x0) * bytes);
        });
    }
}

// A transfer without a source; when the destination does not matter either, the result is one
// colour over the target.
void paintWithoutSource(DeviceContext& dst, const RECT& target, const Rop& op, COLORREF pattern,
                        PaletteEncoder& encoder) {
    if (!op.usesDestination()) {
        const DWORD value = encoder.pixel(op.apply(pattern, 0, 0));
        for (int py = target.top; py < target.bottom; ++py)
            fillSpan(dst, py, target.left, target.right, value);
        return;
    }
    // Otherwise the result follows the destination pixel alone.
    const Surface& out = dst.surface();
    CachedColour destination(out);
    auto result = [&, have = false, last = DWORD{0}, value = DWORD{0}](DWORD d) mutable {
        if (!have || d != last) {
            value = encoder.pixel(op.apply(pattern, 0, destination(d)));
            last = d;
            have = true;
        }
        return value;
    };
    for (int py = target.top; py < target.bottom; ++py)
        drawableRuns(dst, py, target.left, target.right,
                     [&](int x0, int x1) { mapRun(out, py, x0, x1, result); });
}

// The source pixels that target offsets first .. first + count - 1 of n read from a span.
std::vector<Cover> covers(int first, int count, int n, int start, int span, bool mirror,
                          bool combine) {
    std::vector<Cover> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = first; i < first + count; ++i)
        out.push_back(combine ? cover(i, n, start, span, mirror)
                              : Cover{sample(i, n, start, span, mirror), 1});
    return out;
}

bool transfer(DeviceContext& dst, int x, int y, int w, int h, const Source* src, int sx, int sy,
              int sw, int sh, DWORD rop) {
    const Rop op(rop);
    if (op.usesSource() && (src == nullptr || src->surface == nullptr)) return false;
    bool mirrorX = false;
    bool mirrorY = false;
    if (w < 0) {
        x += w;
        w = -w;
        mirrorX = !mirrorX;
    }
    if (h < 0) {
        y += h;
        h = -h;
        mirrorY = !mirrorY;
    }
    if (sw < 0) {
        sx += sw;
        sw = -sw;
        mirrorX = !mirrorX;
    }
    if (sh < 0) {
        sy += sh;
        sh = -sh;
        mirrorY = !mirrorY;
    }
    if (w == 0 || h == 0 || (op.usesSource() && (sw == 0 || sh == 0))) return true;

    const Brush* brush = dst.brush;
    if (op.usesPattern() && brush->style == BS_NULL) return true;
    const COLORREF pattern = dst.resolve(brush->colour);
    const POINT at = dst.toSurface(x, y);
    const RECT target = intersect(RECT{at.x, at.y, at.x + w, at.y + h}, dst.clip);
    if (isEmpty(target)) return true;

    const Surface& out = dst.surface();
    PaletteEncoder encoder(dst);
    const bool plainCopy = rop == SRCCOPY;
    // Dropped pixels are combined by the DC's mode, except in COLORONCOLOR (STRETCH_DELETESCANS).
    const bool combine = dst.stretchMode != COLORONCOLOR && src != nullptr && (sw > w || sh > h);
    const bool raw = plainCopy && !combine && src != nullptr && src->surface->sameFormat(out);
    const int tw = target.right - target.left;
    const int th = target.bottom - target.top;
    if (!op.usesSource()) {
        paintWithoutSource(dst, target, op, pattern, encoder);
        return true;
    }
    if (raw && sw == w && sh == h && !mirrorX && !mirrorY && src->written == nullptr &&
        out.pixelBytes() != 0) {
        copyRows(dst, target, *src, at.x - static_cast<long long>(sx),
                 at.y - static_cast<long long>(sy));
        return true;
    }

    // The source pixels of each target column and row, worked out once.
    const std::vector<Cover> cols = covers(target.left - at.x, tw, w, sx, sw, mirrorX, combine);
    const std::vector<Cover> rows = covers(target.top - at.y, th, h, sy, sh, mirrorY, combine);
    // Reading everything first keeps a transfer within one surface from reading its own output;
    // between two surfaces a row at a time will do.
    const bool buffered = overlap(*src->surface, out);
    const std::size_t kept = static_cast<std::size_t>(tw) * (buffered ? th : 1);
    std::vector<DWORD> values(kept);
    std::vector<unsigned char> present(kept);
    const SourceReader reader(*src, dst);
    RowShrinker shrinker(reader, dst.stretchMode, cols, reader.bounds(), src->runRows);
    const auto readRow = [&](int j, DWORD* value, unsigned char* got) {
        const Cover& r = rows[static_cast<std::size_t>(j)];
        if (combine) {
            shrinker.shrink(r, value, got);
            return;
        }
        for (int i = 0; i < tw; ++i) {
            const Cover& c = cols[static_cast<std::size_t>(i)];
            got[i] = 0;
            if (!reader.readable(c.first, r.first)) continue;
            value[i] = raw ? src->surface->raw(c.first, r.first) : reader.colour(c.first, r.first);
            got[i] = 1;
        }
    };
    CachedColour destination(out);
    const auto writeRow = [&](int j, const DWORD* value, const unsigned char* got) {
        const int py = target.top + j;
        drawableRuns(dst, py, target.left, target.right, [&](int x0, int x1) {
            for (int px = x0; px < x1; ++px) {
                const int i = px - target.left;
                if (got[i] == 0) continue;
                if (raw) {
                    out.setRaw(px, py, value[i]);
                    continue;
                }
                const COLORREF d = op.usesDestination() ? destination(out.raw(px, py)) : 0;
                const COLORREF result = plainCopy ? value[i] : op.apply(pattern, value[i], d);
                out.setRaw(px, py, encoder.pixel(result));
            }
        });
    };
    const auto rowIn = [&](auto& v, int j) {
        return v.data() + (buffered ? static_cast<std::size_t>(j) * tw : 0);
    };
    // Target rows that take the same source rows are the same row: it is read once.
    const auto sameAsAbove = [&](int j) {
        return j > 0 &&
               sameCover(rows[static_cast<std::size_t>(j)], rows[static_cast<std::size_t>(j - 1)]);
    };
    if (buffered)
        for (int j = 0; j < th; ++j) {
            if (!sameAsAbove(j)) {
                readRow(j, rowIn(values, j), rowIn(present, j));
                continue;
            }
            std::copy_n(rowIn(values, j - 1), tw, rowIn(values, j));
            std::copy_n(rowIn(present, j - 1), tw, rowIn(present, j));
        }
    for (int j = 0; j < th; ++j) {
        if (!buffered && !sameAsAbove(j)) readRow(j, rowIn(values, j), rowIn(present, j));
        writeRow(j, rowIn(values, j), rowIn(present, j));
    }
    return true;
}

Source sourceOf(const DeviceContext& dc) {
    Source s;
    s.surface = &dc.surface();
    s.area = dc.area;
    s.dc = &dc;
    return s;
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

BOOL BitBlt(HDC hdc, int x, int y, int width, int height, HDC source, int srcX, int srcY,
            DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || failNow(WINPLAT_CALL_BITBLT)) return FALSE;
    DeviceContext* from = lookupDC(source);
    if (from == nullptr && Rop(rop).usesSource()) return FALSE;
    Source src;
    if (from != nullptr) src = sourceOf(*from);
    const POINT at = from != nullptr ? from->toSurface(srcX, srcY) : POINT{0, 0};
    return transfer(*dc, x, y, width, height, from != nullptr ? &src : nullptr, at.x, at.y, width,
                    height, rop)
               ? TRUE
               : FALSE;
}

BOOL StretchBlt(HDC hdc, int x, int y, int width, int height, HDC source, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    DeviceContext* from = lookupDC(source);
    if (dc == nullptr || (from == nullptr && Rop(rop).usesSource())) return FALSE;
    Source src;
    if (from != nullptr) src = sourceOf(*from);
    const POINT at = from != nullptr ? from->toSurface(srcX, srcY) : POINT{0, 0};
    return transfer(*dc, x, y, width, height, from != nullptr ? &src : nullptr, at.x, at.y,
                    srcWidth, srcHeight, rop)
               ? TRUE
               : FALSE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || Rop(rop).usesSource()) return FALSE;
    return transfer(*dc, x, y, width, height, nullptr, 0, 0, 0, 0, rop) ? TRUE : FALSE;
}

int StretchDIBits(HDC hdc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || bits == nullptr || usage != DIB_RGB_COLORS || info == nullptr) return 0;
    const DWORD compression = info->bmiHeader.biCompression;
    const bool runs = compression == BI_RLE8 || compression == BI_RLE4;
    DibFormat f;
    RleDib decoded;
    if (runs ? !decodeRleDib(info, bits, decoded) : !readDibFormat(info, f)) return 0;
    if (failNow(WINPLAT_CALL_STRETCH_DIBITS)) return 0;
    const Surface view = runs ? decoded.surface : dibSurface(f, bits);
    Source src;
    src.surface = &view;
    src.area = {0, 0, view.width, view.height};
    if (runs) {
        src.written = &decoded.written;
        src.runRows = &decoded.rows;
    }
    // The source rectangle of a bottom-up DIB is measured from its bottom row.
    const int top = runs || f.bottomUp ? view.height - srcY - srcHeight : srcY;
    if (!transfer(*dc, x, y, width, height, &src, srcX, top, srcWidth, srcHeight, rop)) return 0;
    return srcHeight < 0 ? -srcHeight : srcHeight;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return CLR_INVALID;
    const POINT p = dc->toSurface(x, y);
    const RECT& c = dc->clip;
    if (p.x < c.left || p.y < c.top || p.x >= c.right || p.y >= c.bottom) return CLR_INVALID;
    return dc->surface().pixel(p.x, p.y);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return CLR_INVALID;
    const POINT p = dc->toSurface(x, y);
    const RECT& c = dc->clip;
    if (p.x < c.left || p.y < c.top || p.x >= c.right || p.y >= c.bottom) return CLR_INVALID;
    if (!dc->drawable(p.x, p.y)) return CLR_INVALID;
    const Surface& s = dc->surface();
    PaletteEncoder encoder(*dc);
    const DWORD value = encoder.ink(colour);
    s.setRaw(p.x, p.y, value);
    return s.colourOf(value);
}

} // extern "C"
