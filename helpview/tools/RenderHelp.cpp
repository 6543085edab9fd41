// Build-time tool: renders a help text into the viewer's 459 x 374, 24-bit picture (a BMP
// file). The first line, starting with "# ", is the title; a line without a full stop is a
// heading; every other line is a paragraph, wrapped to the picture's width.
//   RenderHelp TEXT REGULAR.ttf BOLD.ttf OUT.bmp
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 459;
constexpr int kHeight = 374;
constexpr int kMargin = 14;

struct Canvas {
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(kWidth * kHeight * 3, 0);

    void fill(int x0, int y0, int x1, int y1, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                std::uint8_t* p = &rgb[(y * kWidth + x) * 3];
                p[0] = r, p[1] = g, p[2] = b;
            }
    }
    // Blends a glyph's coverage in the given colour.
    void blend(const FT_Bitmap& glyph, int left, int top, std::uint8_t r, std::uint8_t g,
               std::uint8_t b) {
        for (unsigned gy = 0; gy < glyph.rows; ++gy)
            for (unsigned gx = 0; gx < glyph.width; ++gx) {
                const int x = left + static_cast<int>(gx), y = top + static_cast<int>(gy);
                if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
                const unsigned a = glyph.buffer[gy * static_cast<unsigned>(glyph.pitch) + gx];
                std::uint8_t* p = &rgb[(y * kWidth + x) * 3];
                p[0] = static_cast<std::uint8_t>((p[0] * (255 - a) + r * a) / 255);
                p[1] = static_cast<std::uint8_t>((p[1] * (255 - a) + g * a) / 255);
                p[2] = static_cast<std::uint8_t>((p[2] * (255 - a) + b * a) / 255);
            }
    }
};

struct Font {
    FT_Face face = nullptr;
    int size = 0;

    int advance(const std::string& text) const {
        int width = 0;
        for (unsigned char c : text) {
            if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) == 0)
                width += static_cast<int>(face->glyph->advance.x >> 6);
        }
        return width;
    }
    int lineHeight() const { return static_cast<int>(face->size->metrics.height >> 6); }
    int ascender() const { return static_cast<int>(face->size->metrics.ascender >> 6); }
    void draw(Canvas& canvas, const std::string& text, int x, int baseline, std::uint8_t r,
              std::uint8_t g, std::uint8_t b) const {
        for (unsigned char c : text) {
            if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
            canvas.blend(face->glyph->bitmap, x + face->glyph->bitmap_left,
                         baseline - face->glyph->bitmap_top, r, g, b);
            x += static_cast<int>(face->glyph->advance.x >> 6);
        }
    }
};

std::vector<std::string> wrap(const Font& font, const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line, word;
    auto flush = [&] {
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && font.advance(candidate) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
        word.clear();
    };
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty()) flush();
        } else {
            word += c;
        }
    }
    if (!word.empty()) flush();
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool writeBmp(const Canvas& canvas, const char* path) {
    const int rowBytes = (kWidth * 3 + 3) & ~3;
    const std::uint32_t image = static_cast<std::uint32_t>(rowBytes * kHeight);
    std::vector<std::uint8_t> file(54 + image, 0);
    auto put16 = [&](int at, unsigned v) { file[at] = v & 0xFF, file[at + 1] = (v >> 8) & 0xFF; };
    auto put32 = [&](int at, std::uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    file[0] = 'B', file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    put16(26, 1);
    put16(28, 24);
    put32(34, image);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* p = &canvas.rgb[(y * kWidth + x) * 3];
            std::uint8_t* out = &file[54 + (kHeight - 1 - y) * rowBytes + x * 3];
            out[0] = p[2], out[1] = p[1], out[2] = p[0];
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: RenderHelp TEXT REGULAR.ttf BOLD.ttf OUT.bmp\n");
        return 2;
    }
    FT_Library library;
    Font body, heading, title;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[2], 0, &body.face) != 0 ||
        FT_New_Face(library, argv[3], 0, &heading.face) != 0 ||
        FT_New_Face(library, argv[3], 0, &title.face) != 0) {
        std::fprintf(stderr, "RenderHelp: cannot load the fonts\n");
        return 1;
    }
    FT_Set_Pixel_Sizes(body.face, 0, 12);
    FT_Set_Pixel_Sizes(heading.face, 0, 13);
    FT_Set_Pixel_Sizes(title.face, 0, 17);

    Canvas canvas;
    canvas.fill(0, 0, kWidth, kHeight, 255, 255, 240);
    std::ifstream in(argv[1]);
    std::string line;
    int y = kMargin;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.rfind("# ", 0) == 0) {
            canvas.fill(0, 0, kWidth, title.lineHeight() + 2 * kMargin - 4, 32, 64, 128);
            title.draw(canvas, line.substr(2), kMargin, y + title.ascender(), 255, 255, 255);
            y += title.lineHeight() + kMargin;
        } else if (line.find('.') == std::string::npos) {
            y += 4;
            heading.draw(canvas, line, kMargin, y + heading.ascender(), 32, 64, 128);
            y += heading.lineHeight() + 2;
        } else {
            for (const std::string& l : wrap(body, line, kWidth - 2 * kMargin)) {
                body.draw(canvas, l, kMargin, y + body.ascender(), 0, 0, 0);
                y += body.lineHeight();
            }
        }
    }
    FT_Done_FreeType(library);
    return writeBmp(canvas, argv[4]) ? 0 : 1;
}
