// Which image format an open source holds, as the library's format numbers.
#pragma once

#include "CImgIO.h"
#include "Status.h"

namespace img {

enum ImageFormat : int {
    kFormatUnknown = 0,
    kFormatBmp = 1,
    kFormatGif = 2,
    kFormatJpeg = 3,
    kFormatPng = 4,
    kFormatPcx = 5,
    kFormatTiff = 6,
    kFormatWmf = 7,
    kFormatEmf = 8,
    kFormatPax = 9,
    kFormatPsd = 10,
    kFormatTla = 11,
    kFormatTlau = 12,
    kFormatWbmp = 13,
    kFormatTga = 14,
    kFormatPcdOverview = 15,
    kFormatPcd = 16,
    kFormatJpeg2000 = 17,
    kFormatCodestreamAt4 = 18,
    kFormatOle = 19,
};

// 13 or 14 from a file name ending ".wbmp", ".wbm" or ".tga" in any case; 0 otherwise, and for
// sources that are not files opened by name.
int formatFromExtension(CImgIO& io);

class FormatDetector : public Operation {
public:
    explicit FormatDetector(CImgIO& io) : m_io(io) {}

    // Reads from the current position and leaves the source anywhere.
    int detectFormat(CImgIO& io);
    CImgIO& source() const { return m_io; }

private:
    CImgIO& m_io;
};

} // namespace img
