// Truevision TGA: colour-mapped, true-colour and greyscale images, raw or run-length coded.
#pragma once

#include "CImgIO.h"
#include "CheckedSize.h"
#include "MemoryBlock.h"
#include "Status.h"

namespace img {

struct TgaHeader {
    BYTE idLength;
    BYTE colourMapType;
    BYTE imageType;
    WORD firstEntry;
    WORD mapLength;
    BYTE mapEntryBits;
    WORD xOrigin;
    WORD yOrigin;
    WORD width;
    WORD height;
    BYTE pixelDepth;
    BYTE descriptor;
};

// One decoded value: its colour (blue, green, red, alpha) and the number it stands for as an
// index into the colour map.
struct TgaPixel {
    RGBQUAD colour;
    DWORD value;
};

class TgaReader : public Operation {
public:
    explicit TgaReader(CImgIO& io) : m_io(io) {}

    int getInfo(int* width, int* height, int* pixelDepth);
    int readPalette(int* count, RGBQUAD* palette);
    BYTE* read(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, bool dib);

private:
    bool readHeader();
    bool readImageId();
    bool readColourMap(RGBQUAD* table);
    int mapEntries() const { return m_header.firstEntry + m_header.mapLength; }

    BYTE* readColour(int* width, int* height, int outBits, bool dib);
    BYTE* readIndexed(int* width, int* height, RGBQUAD* palette, bool dib);
    void readRows(BYTE* pixels, unsigned rowBytes, int pixelBytes, bool dib);
    int readRow(BYTE* row, int pixelBytes, bool dib);
    int readValues(BYTE* out, int count, int pixelBytes, bool dib);
    bool fillInput(unsigned wanted);
    void storeValues(const BYTE* raw, unsigned count, BYTE* out, int pixelBytes, bool dib);
    void storePixel(BYTE* out, int pixelBytes, bool dib) const;
    void storeRepeats(BYTE* out, int count, int pixelBytes, bool dib) const;
    bool justify(Size total);
    BYTE* rowOf(BYTE* pixels, unsigned rowBytes, int fileRow, bool dib) const;
    void readFooter();

    CImgIO& m_io;
    char m_imageId[255] = {};
    TgaHeader m_header{};
    bool m_lookup = false;
    bool m_runLength = false;
    int m_remaining = 0;
    bool m_runPacket = false;
    bool m_packetStart = false;
    TgaPixel m_last{};
    RGBQUAD m_map[256] = {};
    BYTE m_footer[26] = {};
    BYTE m_extension[495] = {};
    // The pixel data, read in large pieces straight from the file.
    ScratchBuffer<BYTE> m_input;
    unsigned m_inputAt = 0;
    unsigned m_inputEnd = 0;
};

} // namespace img
