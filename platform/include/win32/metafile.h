// Enhanced and old-style metafiles as the system's code uses them: opened from files or bits,
// their headers, conversion of old-style bits to an enhanced handle, and playing into a DC.
// Handles are GDI objects, counted while alive.
#pragma once

#include "win32/gdi.h"

struct HENHMETAFILE__;
struct HMETAFILE__;
using HENHMETAFILE = HENHMETAFILE__*;
using HMETAFILE = HMETAFILE__*;

using RECTL = RECT;
using SIZEL = SIZE;
using POINTL = POINT;

#define OBJ_METAFILE 9
#define OBJ_ENHMETAFILE 13

#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

#define ENHMETA_SIGNATURE 0x464D4520u

// rclBounds is in device pixels of the reference device, rclFrame in hundredths of a
// millimetre; szlDevice and szlMillimeters describe the reference device.
struct ENHMETAHEADER {
    DWORD iType;
    DWORD nSize;
    RECTL rclBounds;
    RECTL rclFrame;
    DWORD dSignature;
    DWORD nVersion;
    DWORD nBytes;
    DWORD nRecords;
    WORD nHandles;
    WORD sReserved;
    DWORD nDescription;
    DWORD offDescription;
    DWORD nPalEntries;
    SIZEL szlDevice;
    SIZEL szlMillimeters;
    DWORD cbPixelFormat;
    DWORD offPixelFormat;
    DWORD bOpenGL;
    SIZEL szlMicrometers;
};
static_assert(sizeof(ENHMETAHEADER) == 108);

// The picture's mapping mode and suggested size in hundredths of a millimetre.
struct METAFILEPICT {
    LONG mm;
    LONG xExt;
    LONG yExt;
    HMETAFILE hMF;
};

extern "C" {

// An enhanced metafile file; null for anything else.
HENHMETAFILE GetEnhMetaFileA(LPCSTR path);
// An enhanced metafile from its bits (a copy is kept).
HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* bits);
// An old-style metafile file. A file that starts with a placeable header is not one.
HMETAFILE GetMetaFileA(LPCSTR path);
// The bytes of an old-style metafile: the size when `buffer` is null, else the bytes copied
// (0 when the buffer is too small).
UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID buffer);
// Old-style bits as an enhanced metafile. The frame is the picture's extents (the reference
// device's size when they are not positive); the reference DC (or the screen) gives
// szlDevice and szlMillimeters.
HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* bits, HDC reference,
                                const METAFILEPICT* picture);
// Copies at most `size` bytes of the header; with a null buffer gives the header's size.
UINT GetEnhMetaFileHeader(HENHMETAFILE metafile, UINT size, ENHMETAHEADER* header);
// Plays the picture with its frame mapped onto `rect` (logical coordinates of `dc`). The DC's
// objects, colours, modes and clip are as before afterwards. Records that the player does not
// know are skipped.
BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect);
BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);
BOOL DeleteMetaFile(HMETAFILE metafile);

} // extern "C"
