// Metafile handles behind HENHMETAFILE and HMETAFILE, and the two record players. An enhanced
// handle holds either enhanced records or, when made by SetWinMetaFileBits, the old-style
// records themselves with a header made for them; PlayEnhMetaFile plays whichever it holds.
#pragma once

#include "gdi/Objects.h"
#include "win32/metafile.h"

#include <cstddef>
#include <vector>

namespace winplat::gdi {

struct EnhMetafile : GdiObject {
    EnhMetafile() : GdiObject(OBJ_ENHMETAFILE) {}
    bool oldStyle = false;
    ENHMETAHEADER header{};
    UINT headerBytes = 0;      // how much of `header` the file holds: 88, 100 or 108
    std::vector<BYTE> records; // enhanced: every record, the header first; else old-style bits
    RECT pictureFrame{};       // old-style only: the frame, hundredths of a millimetre
};

struct WinMetafile : GdiObject {
    WinMetafile() : GdiObject(OBJ_METAFILE) {}
    std::vector<BYTE> bits;
};

inline constexpr std::size_t kEnhancedHeaderMinimum = 88;
inline constexpr std::size_t kOldStyleHeaderBytes = 18;

// Header checks: the first record is a header with the signature; old-style bits start with
// a memory or disk metafile header of nine words.
bool isEnhancedMetafile(const BYTE* data, std::size_t size);
bool isOldStyleMetafile(const BYTE* data, std::size_t size);

// Plays into `dc` with the picture mapped onto `rect` (logical coordinates of the DC).
void playEnhancedRecords(HDC dc, const EnhMetafile& metafile, const RECT& rect);
void playOldStyleRecords(HDC dc, const std::vector<BYTE>& bits, const RECT& frame,
                         const RECT& rect);

} // namespace winplat::gdi
