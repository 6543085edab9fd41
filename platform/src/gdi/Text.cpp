// Fonts and text through FreeType. The dialog face "MS Sans Serif" (and "MS Shell Dlg", which
// stands for it) maps to Carlito, whose widths relative to its dialog base units are close
// enough to the original's that every caption of a dialog laid out for it fits its control;
// every other face maps to DejaVu Sans (DejaVu Sans Mono for fixed-pitch requests). Weights
// from 600 take the bold file, italics are slanted. Glyphs are rendered as one-bit masks, as
// the era's bitmap fonts were, so text is exactly text colour.
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <string>
#include <strings.h>
#include <vector>

namespace winplat::gdi {
namespace {

// Regular and bold of each family: proportional, fixed pitch, the dialog face.
constexpr int kFaceCount = 6;
const char* const kFontFiles[kFaceCount] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf",
    "/usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf",
};

// Windows-1252's letters in 0x80..0x9F; elsewhere a byte is its own code point.
const std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Loaded once and kept for the life of the process.
FT_Face loadFace(int style) {
    static FT_Library library = nullptr;
    static std::array<FT_Face, kFaceCount> faces{};
    static std::array<bool, kFaceCount> tried{};
    if (library == nullptr && FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return nullptr;
    }
    if (!tried[style]) {
        tried[style] = true;
        if (FT_New_Face(library, kFontFiles[style], 0, &faces[style]) != 0) faces[style] = nullptr;
    }
    return faces[style] != nullptr || style == 0 ? faces[style] : loadFace(0);
}

bool dialogFace(const LOGFONTA& lf) {
    return strncasecmp(lf.lfFaceName, "MS Sans Serif", LF_FACESIZE) == 0 ||
           strncasecmp(lf.lfFaceName, "MS Shell Dlg", LF_FACESIZE) == 0;
}

bool fixedPitch(const LOGFONTA& lf) {
    if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH) return true;
    for (const char* name : {"Courier", "Courier New", "Fixedsys", "Terminal", "Lucida Console"})
        if (strncasecmp(lf.lfFaceName, name, LF_FACESIZE) == 0) return true;
    return false;
}

// One font set up for one call: the face sized and slanted, advances remembered.
class FontRun {
public:
    explicit FontRun(const Font& font) : m_log(font.log) {
        const int family = fixedPitch(m_log) ? 2 : dialogFace(m_log) ? 4 : 0;
        const int style = family + (m_log.lfWeight >= FW_SEMIBOLD ? 1 : 0);
        m_face = loadFace(style);
        if (m_face == nullptr) return;
        m_em = emFor(m_log.lfHeight);
        if (FT_Set_Pixel_Sizes(m_face, 0, static_cast<FT_UInt>(m_em)) != 0) {
            m_face = nullptr;
            return;
        }
        FT_Matrix slant{0x10000, m_log.lfItalic != 0 ? 0x3800 : 0, 0, 0x10000};
        FT_Set_Transform(m_face, &slant, nullptr);
        const FT_Size_Metrics& m = m_face->size->metrics;
        m_ascent = static_cast<int>((m.ascender + 63) >> 6);
        m_descent = static_cast<int>((-m.descender + 63) >> 6);
        m_advances.fill(-1);
    }
    ~FontRun() {
        if (m_face != nullptr) FT_Set_Transform(m_face, nullptr, nullptr);
    }
    FontRun(const FontRun&) = delete;
    FontRun& operator=(const FontRun&) = delete;

    bool ok() const { return m_face != nullptr; }
    int ascent() const { return m_ascent; }
    int descent() const { return m_descent; }
    int height() const { return m_ascent + m_descent; }
    int em() const { return m_em; }
    const LOGFONTA& log() const { return m_log; }
    FT_Face face() const { return m_face; }

    int advance(unsigned char c) {
        if (m_advances[c] < 0) m_advances[c] = load(c, false) ? advanceOfSlot() : 0;
        return m_advances[c];
    }
    int width(const std::string& s) {
        int w = 0;
        for (unsigned char c : s)
            w += advance(c);
        return w;
    }
    int scaled(FT_Short units) const {
        return static_cast<int>((static_cast<long>(units) * m_em + m_face->units_per_EM / 2) /
                                m_face->units_per_EM);
    }

    // Draws one glyph with its origin at surface (x, baseline).
    void draw(DeviceContext& dc, int x, int baseline, unsigned char c, DWORD value) {
        if (!load(c, true)) return;
        const FT_GlyphSlot g = m_face->glyph;
        const FT_Bitmap& b = g->bitmap;
        if (b.pixel_mode != FT_PIXEL_MODE_MONO) return;
        for (unsigned row = 0; row < b.rows; ++row) {
            const unsigned char* bits = b.buffer + static_cast<long>(row) * b.pitch;
            for (unsigned col = 0; col < b.width; ++col)
                if ((bits[col >> 3] & (0x80u >> (col & 7))) != 0)
                    plot(dc, x + g->bitmap_left + static_cast<int>(col),
                         baseline - g->bitmap_top + static_cast<int>(row), value);
        }
    }

private:
    int emFor(LONG height) const {
        long em = 11;
        if (height < 0) em = -static_cast<long>(height);
        if (height > 0) {
            const long cell = m_face->ascender - m_face->descender;
            em = cell > 0 ? (static_cast<long>(height) * m_face->units_per_EM + cell / 2) / cell
                          : height;
        }
        return static_cast<int>(std::clamp(em, 1L, 1000L));
    }
    bool load(unsigned char c, bool render) {
        const FT_ULong code = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
        const FT_Int32 flags =
            FT_LOAD_TARGET_MONO | (render ? FT_LOAD_RENDER | FT_LOAD_MONOCHROME : 0);
        return FT_Load_Char(m_face, code, flags) == 0;
    }
    int advanceOfSlot() const { return static_cast<int>((m_face->glyph->advance.x + 32) >> 6); }

    LOGFONTA m_log;
    FT_Face m_face = nullptr;
    int m_em = 11;
    int m_ascent = 0;
    int m_descent = 0;
    std::array<int, 256> m_advances{};
};

void fillRect(DeviceContext& dc, const RECT& r, DWORD value) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            plot(dc, x, y, value);
}

// One line of text whose cell's top-left corner is surface (x, top). `marks` flags the
// characters that get the mnemonic underline.
void drawLine(DeviceContext& dc, FontRun& font, int x, int top, const std::string& text,
              const std::vector<bool>& marks) {
    PaletteEncoder encoder(dc);
    const int width = font.width(text);
    const int baseline = top + font.ascent();
    if (dc.bkMode == OPAQUE)
        fillRect(dc, RECT{x, top, x + width, top + font.height()}, encoder.ink(dc.bkColour));
    const DWORD ink = encoder.ink(dc.textColour);
    const FT_Face face = font.face();
    const int thickness = std::max(1, font.scaled(face->underline_thickness));
    const int underline = baseline - font.scaled(face->underline_position);
    const LOGFONTA& lf = font.log();
    int pen = x;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        font.draw(dc, pen, baseline, c, ink);
        const int next = pen + font.advance(c);
        if (i < marks.size() && marks[i])
            fillRect(dc, RECT{pen, underline, next, underline + thickness}, ink);
        pen = next;
    }
    if (lf.lfUnderline != 0) fillRect(dc, RECT{x, underline, pen, underline + thickness}, ink);
    if (lf.lfStrikeOut != 0) {
        const int strike = baseline - font.ascent() / 3;
        fillRect(dc, RECT{x, strike, pen, strike + thickness}, ink);
    }
}

// Runs `work` with the DC's clip narrowed to `limit` (surface coordinates).
template <class Work> void withClip(DeviceContext& dc, const RECT* limit, Work&& work) {
    const RECT saved = dc.clip;
    if (limit != nullptr) dc.clip = intersect(dc.clip, *limit);
    work();
    dc.clip = saved;
}

struct Line {
    std::string text;
    std::vector<bool> marks;
};

// Mnemonic prefixes: "&x" underlines x, "&&" is one ampersand.
Line stripPrefixes(const std::string& s, bool keep) {
    Line out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        bool mark = false;
        if (!keep && s[i] == '&') {
            if (++i == s.size()) break;
            mark = s[i] != '&';
        }
        out.text.push_back(s[i]);
        out.marks.push_back(mark);
    }
    return out;
}

Line slice(const Line& l, std::size_t from, std::size_t to) {
    return {l.text.substr(from, to - from),
            std::vector<bool>(l.marks.begin() + from, l.marks.begin() + to)};
}

std::vector<Line> splitParagraphs(const Line& all, bool single) {
    std::vector<Line> out;
    if (single) {
        Line l;
        for (std::size_t i = 0; i < all.text.size(); ++i) {
            if (all.text[i] == '\r' || all.text[i] == '\n') continue;
            l.text.push_back(all.text[i]);
            l.marks.push_back(all.marks[i]);
        }
        out.push_back(l);
        return out;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= all.text.size(); ++i) {
        if (i < all.text.size() && all.text[i] != '\r' && all.text[i] != '\n') continue;
        out.push_back(slice(all, start, i));
        if (i + 1 < all.text.size() && all.text[i] == '\r' && all.text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return out;
}

// Greedy breaking at spaces; a word wider than the line stays whole.
std::vector<Line> wrap(const Line& para, FontRun& font, int limit) {
    std::vector<Line> out;
    const std::string& t = para.text;
    std::size_t start = 0;
    while (true) {
        std::size_t end = start;
        std::size_t lastFit = std::string::npos;
        while (end < t.size()) {
            std::size_t wordEnd = t.find(' ', end);
            if (wordEnd == std::string::npos) wordEnd = t.size();
            if (font.width(t.substr(start, wordEnd - start)) > limit &&
                lastFit != std::string::npos)
                break;
            lastFit = wordEnd;
            end = wordEnd < t.size() ? wordEnd + 1 : wordEnd;
        }
        const std::size_t cut = lastFit == std::string::npos ? t.size() : lastFit;
        out.push_back(slice(para, start, cut));
        start = cut;
        while (start < t.size() && t[start] == ' ')
            ++start;
        if (start >= t.size()) break;
    }
    return out;
}

void addEllipsis(Line& line, FontRun& font, int limit) {
    if (font.width(line.text) <= limit) return;
    const int dots = font.width("...");
    std::size_t keep = line.text.size();
    while (keep > 0 && font.width(line.text.substr(0, keep)) + dots > limit)
        --keep;
    line = slice(line, 0, keep);
    line.text += "...";
    line.marks.resize(line.text.size(), false);
}

std::string expandTabs(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '\t') {
            out.push_back(c);
            continue;
        }
        do
            out.push_back(' ');
        while (out.size() % 8 != 0);
    }
    return out;
}

std::string textOf(LPCSTR text, int length) {
    if (text == nullptr) return {};
    return length < 0 ? std::string(text) : std::string(text, static_cast<std::size_t>(length));
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

HFONT CreateFontIndirectA(const LOGFONTA* font) {
    Guard guard(gdiLock());
    if (font == nullptr || failNow(WINPLAT_CALL_CREATE_FONT)) return nullptr;
    auto* f = new Font;
    f->log = *font;
    f->log.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(adopt(f));
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length,
                 const INT* advances) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || (text == nullptr && length != 0)) return FALSE;
    RECT box{0, 0, 0, 0};
    if (rect != nullptr) box = dc->toSurface(*rect);
    if ((options & ETO_OPAQUE) != 0 && rect != nullptr) fillSurfaceRect(*dc, box, dc->bkColour);
    FontRun font(*dc->font);
    if (!font.ok()) return FALSE;
    const std::string s = textOf(text, static_cast<int>(length));
    int width = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        width += advances != nullptr ? advances[i] : font.advance(static_cast<unsigned char>(s[i]));
    const POINT p = dc->toSurface(x, y);
    const UINT horizontal = dc->textAlign & TA_CENTER;
    const UINT vertical = dc->textAlign & TA_BASELINE;
    const int left = horizontal == TA_CENTER  ? p.x - width / 2
                     : horizontal == TA_RIGHT ? p.x - width
                                              : p.x;
    const int top = vertical == TA_BASELINE ? p.y - font.ascent()
                    : vertical == TA_BOTTOM ? p.y - font.height()
                                            : p.y;
    withClip(*dc, (options & ETO_CLIPPED) != 0 && rect != nullptr ? &box : nullptr, [&] {
        if (advances == nullptr) {
            drawLine(*dc, font, left, top, s, {});
            return;
        }
        // Caller-given advances place each character on its own.
        int pen = left;
        for (std::size_t i = 0; i < s.size(); ++i) {
            drawLine(*dc, font, pen, top, s.substr(i, 1), {});
            pen += advances[i];
        }
    });
    return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    if (length < 0) return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, text, static_cast<UINT>(length), nullptr);
}

int DrawTextA(HDC hdc, LPCSTR text, int length, LPRECT rect, UINT format) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || rect == nullptr || text == nullptr) return 0;
    FontRun font(*dc->font);
    if (!font.ok()) return 0;
    std::string s = textOf(text, length);
    if ((format & DT_EXPANDTABS) != 0) s = expandTabs(s);
    const bool single = (format & DT_SINGLELINE) != 0;
    const int limit = rect->right - rect->left;
    std::vector<Line> lines;
    for (const Line& para :
         splitParagraphs(stripPrefixes(s, (format & DT_NOPREFIX) != 0), single)) {
        if ((format & DT_WORDBREAK) != 0 && !single) {
            for (Line& l : wrap(para, font, limit))
                lines.push_back(std::move(l));
        } else {
            lines.push_back(para);
        }
    }
    int widest = 0;
    for (Line& l : lines) {
        if ((format & DT_END_ELLIPSIS) != 0) addEllipsis(l, font, limit);
        widest = std::max(widest, font.width(l.text));
    }
    const int lineHeight = font.height();
    const int total = lineHeight * static_cast<int>(lines.size());
    if ((format & DT_CALCRECT) != 0) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }
    int top = rect->top;
    if (single && (format & DT_VCENTER) != 0) top = (rect->top + rect->bottom - lineHeight) / 2;
    if (single && (format & DT_BOTTOM) != 0) top = rect->bottom - lineHeight;
    const RECT box = dc->toSurface(*rect);
    withClip(*dc, (format & DT_NOCLIP) != 0 ? nullptr : &box, [&] {
        int lineTop = top;
        for (const Line& l : lines) {
            const int w = font.width(l.text);
            int x = rect->left;
            if ((format & DT_CENTER) != 0)
                x = (rect->left + rect->right - w) / 2;
            else if ((format & DT_RIGHT) != 0)
                x = rect->right - w;
            const POINT p = dc->toSurface(x, lineTop);
            drawLine(*dc, font, p.x, p.y, l.text, l.marks);
            lineTop += lineHeight;
        }
    });
    return single && (format & (DT_VCENTER | DT_BOTTOM)) != 0 ? top - rect->top + total : total;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, LPSIZE size) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || size == nullptr || length < 0 || (text == nullptr && length > 0))
        return FALSE;
    FontRun font(*dc->font);
    if (!font.ok()) return FALSE;
    size->cx = font.width(textOf(text, length));
    size->cy = font.height();
    return TRUE;
}

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* metrics) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || metrics == nullptr) return FALSE;
    FontRun font(*dc->font);
    if (!font.ok()) return FALSE;
    TEXTMETRICA& tm = *metrics;
    tm = TEXTMETRICA{};
    tm.tmHeight = font.height();
    tm.tmAscent = font.ascent();
    tm.tmDescent = font.descent();
    tm.tmInternalLeading = std::max(0, font.height() - font.em());
    tm.tmAveCharWidth = font.advance('x');
    tm.tmMaxCharWidth = static_cast<LONG>((font.face()->size->metrics.max_advance + 63) >> 6);
    tm.tmWeight = font.log().lfWeight != 0 ? font.log().lfWeight : FW_NORMAL;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = '?';
    tm.tmBreakChar = ' ';
    tm.tmItalic = font.log().lfItalic;
    tm.tmUnderlined = font.log().lfUnderline;
    tm.tmStruckOut = font.log().lfStrikeOut;
    tm.tmPitchAndFamily = fixedPitch(font.log()) ? 0 : 1; // set bit: variable pitch
    tm.tmCharSet = font.log().lfCharSet;
    return TRUE;
}

} // extern "C"
