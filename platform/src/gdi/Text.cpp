// Fonts and text through FreeType. The dialog face "MS Sans Serif" (and "MS Shell Dlg", which
// stands for it) maps to Carlito, whose widths relative to its dialog base units are close
// enough to the original's that every caption of a dialog laid out for it fits its control;
// every other face maps to DejaVu Sans (DejaVu Sans Mono for fixed-pitch requests). Weights
// from 600 take the bold file, italics are slanted. Glyphs are rendered as one-bit masks, as
// the era's bitmap fonts were, so text is exactly text colour.
//
// Text is drawn as Unicode. One-byte text is read in the code page of the font's character set
// (iconv for all but Windows-1252, which ANSI and default fonts use); a character the chosen
// face lacks comes from DejaVu Sans, then from Droid Sans Fallback (Chinese and Japanese), then
// from Nanum Gothic (Korean), then from Loma (Thai).
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"
#include "gdi/Spans.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <iconv.h>
#include <string>
#include <strings.h>
#include <unordered_map>
#include <vector>

namespace winplat::gdi {
namespace {

// Regular and bold of each family: proportional, fixed pitch, the dialog face; then the faces
// that have the ideographs, the Korean syllables and the Thai letters.
constexpr int kFaceCount = 9;
constexpr int kIdeographFace = 6;
constexpr int kHangulFace = 7;
constexpr int kThaiFace = 8;
const char* const kFontFiles[kFaceCount] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf",
    "/usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
    "/usr/share/fonts/truetype/nanum/NanumGothic.ttf",
    "/usr/share/fonts/truetype/tlwg/Loma.ttf",
};

// Windows-1252's letters in 0x80..0x9F; elsewhere a byte is its own code point.
const std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Symbol font's letters (its own encoding, from 0x20) as Unicode: Greek, the operators
// and arrows, and the pieces of tall brackets.
const std::array<char16_t, 96> kSymbolLow = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
    0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
    0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x007F};
const std::array<char16_t, 96> kSymbolHigh = {
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
    0x2190, 0x2191, 0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118,
    0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0xFFFD, 0x232A, 0x222B, 0x2320,
    0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xFFFD};

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
    return faces[style] != nullptr || style == 0 || style >= kIdeographFace ? faces[style]
                                                                            : loadFace(0);
}

// Text as characters, with how many bytes or UTF-16 units each came from (the caller's
// advances count those).
struct Decoded {
    std::u32string text;
    std::vector<std::size_t> units;
};

char32_t fromCp1252(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

// The code page of a character set, as iconv names it; null for Windows-1252 (symbol fonts
// other than Symbol included: their bytes stand as they are).
const char* codePageOf(BYTE charset) {
    switch (charset) {
    case SHIFTJIS_CHARSET:
        return "CP932";
    case HANGUL_CHARSET:
        return "CP949";
    case JOHAB_CHARSET:
        return "JOHAB";
    case GB2312_CHARSET:
        return "CP936";
    case CHINESEBIG5_CHARSET:
        return "CP950";
    case GREEK_CHARSET:
        return "CP1253";
    case TURKISH_CHARSET:
        return "CP1254";
    case VIETNAMESE_CHARSET:
        return "CP1258";
    case HEBREW_CHARSET:
        return "CP1255";
    case ARABIC_CHARSET:
        return "CP1256";
    case BALTIC_CHARSET:
        return "CP1257";
    case RUSSIAN_CHARSET:
        return "CP1251";
    case THAI_CHARSET:
        return "CP874";
    case EASTEUROPE_CHARSET:
        return "CP1250";
    case MAC_CHARSET:
        return "MACINTOSH";
    case OEM_CHARSET:
        return "CP437";
    default:
        return nullptr;
    }
}

// One character at a time, so that each knows its bytes: a lead byte waits for its trail
// byte, and a byte the code page has no character for shows as U+FFFD.
Decoded decodeBytes(const char* bytes, std::size_t count, const LOGFONTA& font) {
    Decoded out;
    if (font.lfCharSet == SYMBOL_CHARSET &&
        strncasecmp(font.lfFaceName, "Symbol", LF_FACESIZE) == 0) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            out.text.push_back(c >= 0xA0               ? kSymbolHigh[c - 0xA0]
                               : c >= 0x20 && c < 0x80 ? kSymbolLow[c - 0x20]
                                                       : fromCp1252(c));
            out.units.push_back(1);
        }
        return out;
    }
    const char* page = codePageOf(font.lfCharSet);
    iconv_t cd = page != nullptr ? iconv_open("UTF-32LE", page) : reinterpret_cast<iconv_t>(-1);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (std::size_t i = 0; i < count; ++i) {
            out.text.push_back(fromCp1252(static_cast<unsigned char>(bytes[i])));
            out.units.push_back(1);
        }
        return out;
    }
    constexpr std::size_t kLongest = 4;
    std::size_t at = 0;
    while (at < count) {
        char32_t got[2] = {0xFFFD, 0};
        std::size_t used = 1;
        std::size_t produced = 1;
        for (std::size_t take = 1; take <= kLongest && at + take <= count; ++take) {
            char* in = const_cast<char*>(bytes + at);
            std::size_t inLeft = take;
            char* outp = reinterpret_cast<char*>(got);
            std::size_t outLeft = sizeof got;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            // Hebrew and Vietnamese hold a letter back for the marks that may follow it: the
            // second call lets it go.
            if (iconv(cd, &in, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1) &&
                inLeft == 0 &&
                iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<std::size_t>(-1)) {
                used = take;
                produced = (sizeof got - outLeft) / sizeof(char32_t);
                break;
            }
            if (errno != EINVAL) {
                got[0] = 0xFFFD;
                break;
            }
        }
        for (std::size_t k = 0; k < produced; ++k) {
            out.text.push_back(got[k]);
            out.units.push_back(k == 0 ? used : 0);
        }
        at += used;
    }
    iconv_close(cd);
    return out;
}

// UTF-16 with its surrogate pairs; a lone surrogate shows as U+FFFD.
Decoded decodeWide(const WCHAR* units, std::size_t count) {
    Decoded out;
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            out.text.push_back(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            out.units.push_back(2);
            ++i;
            continue;
        }
        out.text.push_back(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        out.units.push_back(1);
    }
    return out;
}

Decoded decodeFor(const LOGFONTA& font, const std::string& bytes) {
    return decodeBytes(bytes.data(), bytes.size(), font);
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

// One font set up for one call: the faces sized and slanted, advances remembered. A turned
// run (the font's escapement) turns the glyphs it renders; advances stay along the line.
class FontRun {
public:
    explicit FontRun(const Font& font) : m_log(font.log) {
        const int family = fixedPitch(m_log) ? 2 : dialogFace(m_log) ? 4 : 0;
        m_bold = m_log.lfWeight >= FW_SEMIBOLD;
        m_face = loadFace(family + (m_bold ? 1 : 0));
        if (m_face == nullptr) return;
        m_em = emFor(m_log.lfHeight);
        if (FT_Set_Pixel_Sizes(m_face, 0, static_cast<FT_UInt>(m_em)) != 0) {
            m_face = nullptr;
            return;
        }
        m_sized[0] = m_face;
        m_slant = FT_Matrix{0x10000, m_log.lfItalic != 0 ? 0x3800 : 0, 0, 0x10000};
        m_turned = m_slant;
        const FT_Size_Metrics& m = m_face->size->metrics;
        m_ascent = static_cast<int>((m.ascender + 63) >> 6);
        m_descent = static_cast<int>((-m.descender + 63) >> 6);
        // Tenths of a degree, counterclockwise on the screen.
        const int tenths = static_cast<int>(m_log.lfEscapement % 3600);
        if (tenths != 0) {
            const double a = tenths * 3.14159265358979323846 / 1800;
            m_cos = std::cos(a);
            m_sin = std::sin(a);
            const auto fixed = [](double v) {
                return static_cast<FT_Fixed>(std::lround(v * 65536));
            };
            const double s = m_slant.xy / 65536.0;
            m_turned = FT_Matrix{fixed(m_cos), fixed(m_cos * s - m_sin), fixed(m_sin),
                                 fixed(m_sin * s + m_cos)};
        }
    }
    ~FontRun() {
        for (FT_Face f : m_sized)
            if (f != nullptr) FT_Set_Transform(f, nullptr, nullptr);
    }
    FontRun(const FontRun&) = delete;
    FontRun& operator=(const FontRun&) = delete;

    bool ok() const { return m_face != nullptr; }
    bool turned() const { return m_sin != 0 || m_cos != 1; }
    double cosine() const { return m_cos; }
    double sine() const { return m_sin; }
    int ascent() const { return m_ascent; }
    int descent() const { return m_descent; }
    int height() const { return m_ascent + m_descent; }
    int em() const { return m_em; }
    const LOGFONTA& log() const { return m_log; }
    FT_Face face() const { return m_face; }

    int advance(char32_t c) {
        const auto known = m_advances.find(c);
        if (known != m_advances.end()) return known->second;
        const int a = load(c, false) ? advanceOfSlot() : 0;
        m_advances.emplace(c, a);
        return a;
    }
    int width(const std::u32string& s) {
        int w = 0;
        for (char32_t c : s)
            w += advance(c);
        return w;
    }
    int scaled(FT_Short units) const {
        return static_cast<int>((static_cast<long>(units) * m_em + m_face->units_per_EM / 2) /
                                m_face->units_per_EM);
    }

    // Draws one glyph with its origin at surface (x, baseline).
    void draw(DeviceContext& dc, int x, int baseline, char32_t c, DWORD value) {
        if (!load(c, true)) return;
        const FT_GlyphSlot g = m_loaded->glyph;
        const FT_Bitmap& b = g->bitmap;
        if (b.pixel_mode != FT_PIXEL_MODE_MONO) return;
        const auto set = [&](const unsigned char* bits, unsigned col) {
            return (bits[col >> 3] & (0x80u >> (col & 7))) != 0;
        };
        const int left = x + g->bitmap_left;
        for (unsigned row = 0; row < b.rows; ++row) {
            const unsigned char* bits = b.buffer + static_cast<long>(row) * b.pitch;
            const int y = baseline - g->bitmap_top + static_cast<int>(row);
            // Runs of set bits, each one span.
            for (unsigned col = 0; col < b.width;) {
                if (!set(bits, col)) {
                    ++col;
                    continue;
                }
                const unsigned start = col;
                while (col < b.width && set(bits, col))
                    ++col;
                fillSpan(dc, y, left + static_cast<int>(start), left + static_cast<int>(col),
                         value);
            }
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
    // The first face that has the character, sized for this run; the chosen one when none has
    // it (it draws its missing-glyph box).
    FT_Face faceFor(char32_t c) {
        if (FT_Get_Char_Index(m_face, c) != 0) return m_face;
        const int fallbacks[kRunFaces] = {0, m_bold ? 1 : 0, kIdeographFace, kHangulFace,
                                          kThaiFace};
        for (int i = 1; i < kRunFaces; ++i) {
            FT_Face f = loadFace(fallbacks[i]);
            if (f == nullptr || f == m_face || FT_Get_Char_Index(f, c) == 0) continue;
            if (m_sized[i] != f) {
                if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(m_em)) != 0) continue;
                m_sized[i] = f;
            }
            return f;
        }
        return m_face;
    }
    bool load(char32_t c, bool render) {
        m_loaded = faceFor(c);
        FT_Set_Transform(m_loaded, render ? &m_turned : &m_slant, nullptr);
        const FT_Int32 flags =
            FT_LOAD_TARGET_MONO | (render ? FT_LOAD_RENDER | FT_LOAD_MONOCHROME : 0);
        return FT_Load_Char(m_loaded, c, flags) == 0;
    }
    int advanceOfSlot() const { return static_cast<int>((m_loaded->glyph->advance.x + 32) >> 6); }

    // The chosen face, DejaVu Sans, the ideographs, the Korean syllables, the Thai letters.
    static constexpr int kRunFaces = 5;

    LOGFONTA m_log;
    bool m_bold = false;
    FT_Face m_face = nullptr;
    FT_Face m_loaded = nullptr;
    std::array<FT_Face, kRunFaces> m_sized{};
    FT_Matrix m_slant{0x10000, 0, 0, 0x10000};
    FT_Matrix m_turned{0x10000, 0, 0, 0x10000};
    double m_cos = 1;
    double m_sin = 0;
    int m_em = 11;
    int m_ascent = 0;
    int m_descent = 0;
    std::unordered_map<char32_t, int> m_advances;
};

void fillRect(DeviceContext& dc, const RECT& r, DWORD value) {
    for (int y = r.top; y < r.bottom; ++y)
        fillSpan(dc, y, r.left, r.right, value);
}

// One line of text whose cell's top-left corner is surface (x, top). `marks` flags the
// characters that get the mnemonic underline.
void drawLine(DeviceContext& dc, FontRun& font, int x, int top, const std::u32string& text,
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
        const char32_t c = text[i];
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

// A line turned by the font's escapement: `origin` is the start of its baseline, `steps` the
// advance of each character along it.
class TurnedLine {
public:
    TurnedLine(DeviceContext& dc, FontRun& font, PointF origin)
        : m_dc(dc), m_font(font), m_origin(origin) {}

    // The box from `along0` to `along1` on the line and `across0` to `across1` below it.
    void fill(double along0, double along1, double across0, double across1, DWORD value) {
        std::vector<PointF> corners;
        for (const auto& [s, t] : {std::pair{along0, across0}, std::pair{along1, across0},
                                   std::pair{along1, across1}, std::pair{along0, across1}})
            corners.push_back(at(s, t));
        InkSpans ink(m_dc, value);
        polygonSpans({corners}, ALTERNATE, m_dc.clip, ink);
    }
    void draw(const std::u32string& text, const std::vector<int>& steps) {
        PaletteEncoder encoder(m_dc);
        int width = 0;
        for (int step : steps)
            width += step;
        if (m_dc.bkMode == OPAQUE)
            fill(0, width, -m_font.ascent(), m_font.descent(), encoder.ink(m_dc.bkColour));
        const DWORD ink = encoder.ink(m_dc.textColour);
        double pen = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const PointF p = at(pen, 0);
            m_font.draw(m_dc, static_cast<int>(std::lround(p.x)),
                        static_cast<int>(std::lround(p.y)), text[i], ink);
            pen += steps[i];
        }
        const FT_Face face = m_font.face();
        const int thickness = std::max(1, m_font.scaled(face->underline_thickness));
        const int underline = -m_font.scaled(face->underline_position);
        if (m_font.log().lfUnderline != 0) fill(0, width, underline, underline + thickness, ink);
        if (m_font.log().lfStrikeOut != 0) {
            const int strike = -m_font.ascent() / 3;
            fill(0, width, strike, strike + thickness, ink);
        }
    }

private:
    // On the screen the line runs along (cos, -sin) and "below" is (sin, cos).
    PointF at(double along, double across) const {
        return {m_origin.x + along * m_font.cosine() + across * m_font.sine(),
                m_origin.y - along * m_font.sine() + across * m_font.cosine()};
    }

    DeviceContext& m_dc;
    FontRun& m_font;
    PointF m_origin;
};

// Runs `work` with the DC's clip narrowed to `limit` (surface coordinates).
template <class Work> void withClip(DeviceContext& dc, const RECT* limit, Work&& work) {
    const RECT saved = dc.clip;
    if (limit != nullptr) dc.clip = intersect(dc.clip, *limit);
    work();
    dc.clip = saved;
}

struct Line {
    std::u32string text;
    std::vector<bool> marks;
};

// Mnemonic prefixes: "&x" underlines x, "&&" is one ampersand.
Line stripPrefixes(const std::u32string& s, bool keep) {
    Line out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        bool mark = false;
        if (!keep && s[i] == U'&') {
            if (++i == s.size()) break;
            mark = s[i] != U'&';
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
            if (all.text[i] == U'\r' || all.text[i] == U'\n') continue;
            l.text.push_back(all.text[i]);
            l.marks.push_back(all.marks[i]);
        }
        out.push_back(l);
        return out;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= all.text.size(); ++i) {
        if (i < all.text.size() && all.text[i] != U'\r' && all.text[i] != U'\n') continue;
        out.push_back(slice(all, start, i));
        if (i + 1 < all.text.size() && all.text[i] == U'\r' && all.text[i + 1] == U'\n') ++i;
        start = i + 1;
    }
    return out;
}

// Greedy breaking at spaces; a word wider than the line stays whole.
std::vector<Line> wrap(const Line& para, FontRun& font, int limit) {
    std::vector<Line> out;
    const std::u32string& t = para.text;
    std::size_t start = 0;
    while (true) {
        std::size_t end = start;
        std::size_t lastFit = std::u32string::npos;
        while (end < t.size()) {
            std::size_t wordEnd = t.find(U' ', end);
            if (wordEnd == std::u32string::npos) wordEnd = t.size();
            if (font.width(t.substr(start, wordEnd - start)) > limit &&
                lastFit != std::u32string::npos)
                break;
            lastFit = wordEnd;
            end = wordEnd < t.size() ? wordEnd + 1 : wordEnd;
        }
        const std::size_t cut = lastFit == std::u32string::npos ? t.size() : lastFit;
        out.push_back(slice(para, start, cut));
        start = cut;
        while (start < t.size() && t[start] == U' ')
            ++start;
        if (start >= t.size()) break;
    }
    return out;
}

void addEllipsis(Line& line, FontRun& font, int limit) {
    if (font.width(line.text) <= limit) return;
    const std::u32string dots = U"...";
    const int dotsWidth = font.width(dots);
    std::size_t keep = line.text.size();
    while (keep > 0 && font.width(line.text.substr(0, keep)) + dotsWidth > limit)
        --keep;
    line = slice(line, 0, keep);
    line.text += dots;
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

bool rightToLeft(char32_t c) {
    return (c >= 0x0590 && c < 0x0900) || (c >= 0xFB1D && c < 0xFE00) ||
           (c >= 0xFE70 && c < 0xFF00);
}

bool digit(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9);
}

// Hebrew points and Arabic vowel marks: they sit on the letter before them.
bool mark(char32_t c) {
    return (c >= 0x0591 && c <= 0x05C7 && c != 0x05BE && c != 0x05C0 && c != 0x05C3 &&
            c != 0x05C6) ||
           (c >= 0x064B && c <= 0x065F) || c == 0x0670;
}

bool neutral(char32_t c) {
    return c == U' ' || (c >= U'!' && c <= U'/') || (c >= U':' && c <= U'@') ||
           (c >= U'[' && c <= U'`') || (c >= U'{' && c <= U'~') || c == 0xA0;
}

// Hebrew and Arabic in a left-to-right line, put in the order they are seen: each run from one
// right-to-left letter to the last one that follows it (across spaces, punctuation and numbers)
// is turned round. Advances go with their characters.
void orderForDisplay(std::u32string& text, std::vector<int>& steps) {
    // Characters from..to - 1 and their advances, turned round.
    const auto turn = [&](std::size_t from, std::size_t to) {
        std::reverse(text.begin() + static_cast<std::ptrdiff_t>(from),
                     text.begin() + static_cast<std::ptrdiff_t>(to));
        std::reverse(steps.begin() + static_cast<std::ptrdiff_t>(from),
                     steps.begin() + static_cast<std::ptrdiff_t>(to));
    };
    std::size_t i = 0;
    while (i < text.size()) {
        if (!rightToLeft(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i + 1; // one past the run's last right-to-left letter
        for (std::size_t k = i + 1; k < text.size(); ++k) {
            if (rightToLeft(text[k]))
                end = k + 1;
            else if (!neutral(text[k]) && !digit(text[k]))
                break;
        }
        turn(i, end);
        // A letter's marks follow it again, and numbers read left to right.
        for (std::size_t k = i; k < end; ++k) {
            if (!mark(text[k])) continue;
            std::size_t n = k;
            while (n < end && mark(text[n]))
                ++n;
            if (n == end) break;
            turn(k, n + 1);
            k = n;
        }
        for (std::size_t k = i; k < end;) {
            std::size_t n = k;
            while (n < end && digit(text[n]))
                ++n;
            turn(k, n);
            k = n > k ? n : k + 1;
        }
        i = end;
    }
}

// What ExtTextOutA and ExtTextOutW share once their text is characters; `advances` count the
// caller's bytes or units.
BOOL textOut(DeviceContext& dc, int x, int y, UINT options, const RECT* rect, const Decoded& text,
             const INT* advances) {
    RECT box{0, 0, 0, 0};
    if (rect != nullptr) box = dc.toSurface(*rect);
    if ((options & ETO_OPAQUE) != 0 && rect != nullptr) fillSurfaceRect(dc, box, dc.bkColour);
    FontRun font(*dc.font);
    if (!font.ok()) return FALSE;
    std::vector<int> steps;
    std::size_t unit = 0;
    int width = 0;
    for (std::size_t i = 0; i < text.text.size(); ++i) {
        int step = 0;
        if (advances != nullptr)
            for (std::size_t k = 0; k < text.units[i]; ++k)
                step += advances[unit + k];
        else
            step = font.advance(text.text[i]);
        unit += text.units[i];
        steps.push_back(step);
        width += step;
    }
    std::u32string shown = text.text;
    orderForDisplay(shown, steps);
    const POINT p = dc.toSurface(x, y);
    const UINT horizontal = dc.textAlign & TA_CENTER;
    const UINT vertical = dc.textAlign & TA_BASELINE;
    const int along = horizontal == TA_CENTER ? -width / 2 : horizontal == TA_RIGHT ? -width : 0;
    const int down = vertical == TA_BASELINE ? 0
                     : vertical == TA_BOTTOM ? -font.descent()
                                             : font.ascent();
    withClip(dc, (options & ETO_CLIPPED) != 0 && rect != nullptr ? &box : nullptr, [&] {
        if (font.turned()) {
            TurnedLine line(dc, font,
                            PointF{p.x + along * font.cosine() + down * font.sine(),
                                   p.y - along * font.sine() + down * font.cosine()});
            line.draw(shown, steps);
            return;
        }
        const int left = p.x + along;
        const int top = p.y + down - font.ascent();
        if (advances == nullptr) {
            drawLine(dc, font, left, top, shown, {});
            return;
        }
        // Caller-given advances place each character on its own.
        int pen = left;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            drawLine(dc, font, pen, top, shown.substr(i, 1), {});
            pen += steps[i];
        }
    });
    return TRUE;
}

BOOL textExtent(DeviceContext& dc, const std::u32string& text, LPSIZE size) {
    FontRun font(*dc.font);
    if (!font.ok()) return FALSE;
    size->cx = font.width(text);
    size->cy = font.height();
    return TRUE;
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
    const Decoded decoded = decodeBytes(text, length, dc->font->log);
    return textOut(*dc, x, y, options, rect, decoded, advances);
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT length,
                 const INT* advances) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || (text == nullptr && length != 0)) return FALSE;
    return textOut(*dc, x, y, options, rect, decodeWide(text, length), advances);
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
    for (const Line& para : splitParagraphs(
             stripPrefixes(decodeFor(font.log(), s).text, (format & DT_NOPREFIX) != 0), single)) {
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
    return textExtent(*dc, decodeFor(dc->font->log, textOf(text, length)).text, size);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, LPSIZE size) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || size == nullptr || length < 0 || (text == nullptr && length > 0))
        return FALSE;
    return textExtent(*dc, decodeWide(text, static_cast<std::size_t>(length)).text, size);
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
