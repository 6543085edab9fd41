// PNG images through libpng: pixel buffers in seven forms chosen by the bits per pixel, or a
// packed DIB whose depth follows the file. libpng's failures arrive as ImgCore::ImgException
// and become status 15; its structures never outlive a call.
#pragma once

#include "CImgIO.h"
#include "MemoryBlock.h"
#include "Status.h"
#include "imgcore.h"

#include <png.h>

namespace img {

// readPNG's flags besides the DIB output.
enum PngFlags {
    kPngGamma = 1,
    kPngGrey16 = 4,
};

// One read's libpng structures and the header they found.
struct PngSession {
    PngSession() = default;
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;
    ~PngSession();

    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

class PngReader : public Operation {
public:
    explicit PngReader(CImgIO& io) : m_io(io) {}

    // Indexed, grey or RGB rows at depth 1, 8 or 24, or with 16-bit samples at 16 or 48.
    BYTE* readIndexedOrRgb(int* width, int* height, int depth, bool wideSamples, RGBQUAD* palette,
                           int flags);
    BYTE* readRgba(int* width, int* height, bool wideSamples, int flags);
    BYTE* readGreyAlpha(int* width, int* height, int flags);
    BYTE* readDib(int* width, int* height, int flags);

    int info(int* width, int* height, int* bitDepth, int* colourType, int* interlace,
             ImgResolution* resolution, int* count, RGBQUAD* palette);

private:
    // The protected part every reader runs in: opening, then `body`; an ImgException from
    // libpng ends it with status 15. Returns the image if one was allocated.
    template <class Body> BYTE* guarded(int* width, int* height, Body&& body);
    bool open(PngSession& s);
    bool setUpPalette(PngSession& s, int depth, RGBQUAD* palette);
    void setUpBackground(PngSession& s);
    void setUpGamma(PngSession& s, int flags);
    // Sizes and allocates the image (header bytes first, rows top-down or, for a DIB,
    // bottom-up), lets `writeHeader` fill the header, then reads every row of every pass.
    template <class Header>
    bool readRows(PngSession& s, std::uint32_t rowBytes, unsigned headerBytes, bool dib,
                  Header&& writeHeader);
    void finishDib(PngSession& s, int depth, std::uint32_t rowBytes, unsigned headerBytes);

    CImgIO& m_io;
    MemoryBlock m_image;
    int* m_width = nullptr;
    int* m_height = nullptr;
};

} // namespace img
