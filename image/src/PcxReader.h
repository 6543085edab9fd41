// ZSoft PCX: run-length coded lines of one or more colour planes.
#pragma once

#include "CImgIO.h"
#include "MemoryBlock.h"
#include "Status.h"
#include "imgcore.h"

namespace img {

struct PcxHeader {
    BYTE manufacturer;
    BYTE version;
    BYTE encoding;
    BYTE bitsPerPixel; // in each plane
    WORD xMin;
    WORD yMin;
    WORD xMax;
    WORD yMax;
    std::int16_t hRes;
    std::int16_t vRes;
    BYTE egaPalette[48];
    BYTE reserved;
    BYTE planes;
    WORD bytesPerLine; // in each plane
    WORD paletteInfo;
};

// Where the next line comes from. Once the file has run out every later read fails as well,
// so the lines from there on are zeros that need not be read byte by byte.
enum class PcxInput { File, Ended, Zero };

// One read's decoder, in zero-filled global memory from openPCXDecoder to closePCXDecoder.
struct PcxDecoder {
    explicit PcxDecoder(const CImgIO& source) : stream(source) {}

    int requestedDepth = 0;
    RGBQUAD palette[256] = {};
    int depth = 0;
    unsigned pixelMask = 0;
    int pixelsPerByte = 0;
    CImgIO stream;
    ScratchBuffer<BYTE> line;
    ScratchBuffer<BYTE> expansion;
    WORD width = 0;
    WORD height = 0;
    int currentRow = 0;
    PcxHeader header{};
    PcxInput input = PcxInput::File;
};

bool readPCXHeader(CImgIO& stream, PcxHeader& header);
bool readPCXPalette256(CImgIO& stream, const PcxHeader& header, RGBQUAD* palette);
BYTE readPCXRun(CImgIO& stream, int* count, bool* failed = nullptr);
unsigned decodePCXLine(CImgIO& stream, const PcxHeader& header, BYTE* line, PcxInput* input);
bool combinePCXPlanes(const PcxHeader& header, const BYTE* line, BYTE* destination, unsigned length,
                      bool copyAllowed, int order);

class PcxReader : public Operation {
public:
    explicit PcxReader(CImgIO& io) : m_io(io) {}

    int getInfo(int* width, int* height, int* bitsPerPixel, ImgResolution* resolution);
    int readPalette(int* count, RGBQUAD* palette);
    BYTE* read(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, int flags);

    PcxDecoder* openPCXDecoder(CImgIO& stream, int* width, int* height, RGBQUAD* palette,
                               int* depth, int flags);
    bool readPCXRow(PcxDecoder* decoder, BYTE* destination, int* rowIndex);
    bool closePCXDecoder(PcxDecoder* decoder);

private:
    bool prepareDecoder(PcxDecoder& decoder, RGBQUAD* palette, int* depth, int flags);

    CImgIO& m_io;
};

} // namespace img
