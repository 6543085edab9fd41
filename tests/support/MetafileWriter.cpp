#include "MetafileWriter.h"

#include <algorithm>

namespace testing_support {
namespace {

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFFu);
    put16(b, v >> 16);
}

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint32_t kEmfHeaderBytes = 108;

} // namespace

WmfWriter& WmfWriter::record(std::uint16_t function, std::initializer_list<std::int32_t> words) {
    Bytes parameters;
    for (std::int32_t w : words)
        put16(parameters, static_cast<std::uint32_t>(w));
    return raw(function, parameters);
}

WmfWriter& WmfWriter::raw(std::uint16_t function, const Bytes& parameters) {
    Bytes p = parameters;
    if (p.size() % 2 != 0) p.push_back(0);
    const auto words = static_cast<std::uint32_t>(3 + p.size() / 2);
    put32(m_records, words);
    put16(m_records, function);
    m_records.insert(m_records.end(), p.begin(), p.end());
    m_largest = std::max(m_largest, words);
    return *this;
}

WmfWriter& WmfWriter::window(int left, int top, int width, int height) {
    record(kWmfSetWindowOrg, {top, left});
    return record(kWmfSetWindowExt, {height, width});
}

WmfWriter& WmfWriter::pen(int style, int width, std::uint32_t colour) {
    return record(kWmfCreatePenIndirect,
                  {style, width, 0, static_cast<std::int32_t>(colour & 0xFFFF),
                   static_cast<std::int32_t>(colour >> 16)});
}

WmfWriter& WmfWriter::brush(int style, std::uint32_t colour, int hatch) {
    return record(kWmfCreateBrushIndirect, {style, static_cast<std::int32_t>(colour & 0xFFFF),
                                            static_cast<std::int32_t>(colour >> 16), hatch});
}

WmfWriter& WmfWriter::font(int height, int weight, const std::string& face, int charset,
                           int escapement) {
    Bytes p;
    for (int v : {height, 0, escapement, escapement, weight})
        put16(p, static_cast<std::uint32_t>(v));
    p.insert(p.end(), 3, 0); // italic, underline, strike-out
    p.push_back(static_cast<std::uint8_t>(charset));
    p.insert(p.end(), 4, 0);
    p.insert(p.end(), face.begin(), face.end());
    p.push_back(0);
    return raw(kWmfCreateFontIndirect, p);
}

WmfWriter& WmfWriter::colour(std::uint16_t function, std::uint32_t colour) {
    return record(function, {static_cast<std::int32_t>(colour & 0xFFFF),
                             static_cast<std::int32_t>(colour >> 16)});
}

WmfWriter& WmfWriter::textOut(int x, int y, const std::string& text) {
    Bytes p;
    put16(p, static_cast<std::uint32_t>(text.size()));
    p.insert(p.end(), text.begin(), text.end());
    if (text.size() % 2 != 0) p.push_back(0);
    put16(p, static_cast<std::uint32_t>(y));
    put16(p, static_cast<std::uint32_t>(x));
    return raw(kWmfTextOut, p);
}

WmfWriter& WmfWriter::extTextOut(int x, int y, const std::string& text, int options) {
    Bytes p;
    for (int v : {y, x, static_cast<int>(text.size()), options})
        put16(p, static_cast<std::uint32_t>(v));
    p.insert(p.end(), text.begin(), text.end());
    return raw(kWmfExtTextOut, p);
}

Bytes WmfWriter::bytes(int objects) const {
    Bytes out;
    const auto words = static_cast<std::uint32_t>(9 + m_records.size() / 2 + 3);
    put16(out, 1);     // in memory
    put16(out, 9);     // header words
    put16(out, 0x300); // version
    put32(out, words);
    put16(out, static_cast<std::uint32_t>(objects));
    put32(out, m_largest);
    put16(out, 0);
    out.insert(out.end(), m_records.begin(), m_records.end());
    put32(out, 3);
    put16(out, 0);
    return out;
}

Bytes WmfWriter::placeable(int left, int top, int right, int bottom, int unitsPerInch,
                           int objects) const {
    Bytes out;
    put32(out, kPlaceableKey);
    put16(out, 0);
    for (int v : {left, top, right, bottom})
        put16(out, static_cast<std::uint32_t>(v));
    put16(out, static_cast<std::uint32_t>(unitsPerInch));
    put32(out, 0);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < out.size(); i += 2)
        sum ^= static_cast<std::uint16_t>(out[i] | (out[i + 1] << 8));
    put16(out, sum);
    const Bytes body = bytes(objects);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

EmfWriter::EmfWriter(RECT frame, SIZE device, SIZE millimetres)
    : m_frame(frame), m_device(device), m_millimetres(millimetres) {}

EmfWriter& EmfWriter::record(std::uint32_t type, std::initializer_list<std::int32_t> values) {
    Bytes body;
    for (std::int32_t v : values)
        put32(body, static_cast<std::uint32_t>(v));
    return raw(type, body);
}

EmfWriter& EmfWriter::raw(std::uint32_t type, const Bytes& body) {
    Bytes b = body;
    while (b.size() % 4 != 0)
        b.push_back(0);
    put32(m_records, type);
    put32(m_records, static_cast<std::uint32_t>(8 + b.size()));
    m_records.insert(m_records.end(), b.begin(), b.end());
    ++m_count;
    return *this;
}

EmfWriter& EmfWriter::font(std::uint32_t slot, int height, const std::string& face, int charset,
                           int escapement) {
    Bytes b;
    put32(b, slot);
    for (int v : {height, 0, escapement, escapement, 400})
        put32(b, static_cast<std::uint32_t>(v));
    b.insert(b.end(), 3, 0); // italic, underline, strike-out
    b.push_back(static_cast<std::uint8_t>(charset));
    b.insert(b.end(), 4, 0);
    for (std::size_t i = 0; i < 32; ++i)
        put16(b, i < face.size() ? static_cast<std::uint8_t>(face[i]) : 0);
    return raw(kEmfExtCreateFontIndirectW, b);
}

namespace {

// The body of ExtTextOutA or ExtTextOutW: bounds, graphics mode, scales, then the text.
Bytes textBody(int x, int y, const Bytes& text, std::uint32_t count, int advance,
               std::uint32_t options) {
    Bytes b(16 + 4 + 8, 0);
    b[16] = 1;
    const std::uint32_t textAt = 76; // where the body ends, counted from the record's start
    const auto textBytes = static_cast<std::uint32_t>((text.size() + 3) & ~std::size_t{3});
    put32(b, static_cast<std::uint32_t>(x));
    put32(b, static_cast<std::uint32_t>(y));
    put32(b, count);
    put32(b, textAt);
    put32(b, options);
    for (int i = 0; i < 4; ++i)
        put32(b, 0);
    put32(b, advance != 0 ? textAt + textBytes : 0);
    b.insert(b.end(), text.begin(), text.end());
    while (b.size() % 4 != 0)
        b.push_back(0);
    if (advance != 0)
        for (std::uint32_t i = 0; i < count; ++i)
            put32(b, static_cast<std::uint32_t>(advance));
    return b;
}

} // namespace

EmfWriter& EmfWriter::textOutW(int x, int y, const std::string& text, int advance,
                               std::uint32_t options) {
    std::u16string units;
    for (char c : text)
        units.push_back(static_cast<std::uint8_t>(c));
    return textOutW(x, y, units, advance, options);
}

EmfWriter& EmfWriter::textOutW(int x, int y, const std::u16string& text, int advance,
                               std::uint32_t options) {
    Bytes units;
    for (char16_t c : text)
        put16(units, c);
    return raw(kEmfExtTextOutW,
               textBody(x, y, units, static_cast<std::uint32_t>(text.size()), advance, options));
}

EmfWriter& EmfWriter::textOutA(int x, int y, const std::string& bytes) {
    const Bytes text(bytes.begin(), bytes.end());
    return raw(kEmfExtTextOutA,
               textBody(x, y, text, static_cast<std::uint32_t>(bytes.size()), 0, 0));
}

EmfWriter& EmfWriter::stretchDIBits(int x, int y, int width, int height, const Bytes& dib,
                                    int tableBytes, int srcWidth, int srcHeight) {
    Bytes b(16, 0);
    for (int v : {x, y, 0, 0, srcWidth, srcHeight})
        put32(b, static_cast<std::uint32_t>(v));
    const std::uint32_t infoAt = 8 + 72;
    const auto infoBytes = static_cast<std::uint32_t>(40 + tableBytes);
    put32(b, infoAt);
    put32(b, infoBytes);
    put32(b, infoAt + infoBytes);
    put32(b, static_cast<std::uint32_t>(dib.size() - infoBytes));
    put32(b, 0);          // DIB_RGB_COLORS
    put32(b, 0x00CC0020); // SRCCOPY
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    b.insert(b.end(), dib.begin(), dib.end());
    return raw(kEmfStretchDIBits, b);
}

Bytes EmfWriter::bytesWithHeader(SIZE device, SIZE millimetres) const {
    Bytes out;
    put32(out, 1);
    put32(out, kEmfHeaderBytes);
    for (int v : {0, 0, static_cast<int>(device.cx - 1), static_cast<int>(device.cy - 1)})
        put32(out, static_cast<std::uint32_t>(v));
    for (LONG v : {m_frame.left, m_frame.top, m_frame.right, m_frame.bottom})
        put32(out, static_cast<std::uint32_t>(v));
    put32(out, 0x464D4520u);
    put32(out, 0x10000);
    const std::size_t bytesAt = out.size();
    put32(out, 0); // total bytes, set below
    put32(out, m_count + 2);
    put16(out, 16); // handles
    put16(out, 0);
    put32(out, 0); // description
    put32(out, 0);
    put32(out, 0); // palette entries
    put32(out, static_cast<std::uint32_t>(device.cx));
    put32(out, static_cast<std::uint32_t>(device.cy));
    put32(out, static_cast<std::uint32_t>(millimetres.cx));
    put32(out, static_cast<std::uint32_t>(millimetres.cy));
    put32(out, 0); // pixel format
    put32(out, 0);
    put32(out, 0); // OpenGL
    put32(out, static_cast<std::uint32_t>(millimetres.cx * 1000));
    put32(out, static_cast<std::uint32_t>(millimetres.cy * 1000));
    out.insert(out.end(), m_records.begin(), m_records.end());
    for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u}) // end of file
        put32(out, v);
    set32(out, bytesAt, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes EmfWriter::bytes() const {
    return bytesWithHeader(m_device, m_millimetres);
}

Bytes packedDib24(int width, int height, const std::initializer_list<std::uint32_t>& rgb) {
    Bytes out;
    for (std::uint32_t v :
         {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
        put32(out, v);
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::vector<std::uint32_t> pixels(rgb);
    for (int y = height - 1; y >= 0; --y) {
        Bytes r(row, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = pixels[static_cast<std::size_t>(y) * width + x];
            r[3 * x] = static_cast<std::uint8_t>(c >> 16); // blue
            r[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            r[3 * x + 2] = static_cast<std::uint8_t>(c);
        }
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

} // namespace testing_support
