// Loads an enhanced, old-style or placeable metafile by name and renders it through GDI at
// the size its header gives, into a top-down 24-bit RGB buffer.
#pragma once

#include "Status.h"
#include "win32/win32.h"

namespace img {

class CImgIO;

// What a placeable metafile's own header says, as the library reads it.
struct PlaceableHeader {
    std::uint32_t key;
    std::int16_t left, top, right, bottom;
    std::uint16_t unitsPerInch;
};

inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
inline constexpr unsigned kPlaceableHeaderBytes = 22;

class CMetafileLoader : public Operation {
public:
    BYTE* load(const char* path, int* width, int* height, int extentX, int extentY,
               COLORREF background);

    // The first bytes of a file the library read itself, zeros otherwise.
    const BYTE* placeableBytes() const { return m_placeable; }
    PlaceableHeader placeableHeader() const;
    // The picture's extents that a placeable header gives, in hundredths of a millimetre.
    SIZE placeableExtents() const;

private:
    HENHMETAFILE open(const char* path, int extentX, int extentY);
    HENHMETAFILE openOldStyle(HMETAFILE metafile);
    HENHMETAFILE openPlaceable(const char* path, int extentX, int extentY);
    HENHMETAFILE readPlaceable(CImgIO& io, int extentX, int extentY);
    BYTE* render(HENHMETAFILE metafile, COLORREF background, int* width, int* height);
    bool pictureSize(HDC screen, const ENHMETAHEADER& header, int& width, int& height);
    bool holdsPlaceableHeader() const { return placeableHeader().key == kPlaceableKey; }
    // The picture's extents in hundredths of a millimetre from the placeable header.
    std::uint32_t placeableExtent(std::int16_t from, std::int16_t to) const;

    BYTE m_placeable[kPlaceableHeaderBytes] = {};
};

} // namespace img
