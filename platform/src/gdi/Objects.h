// GDI objects behind the handles. A handle is the object's address; only addresses in the
// live table are accepted, so a stale or foreign handle is refused instead of followed.
// Every GDI call holds the one lock for its whole run.
#pragma once

#include "gdi/Surface.h"

#include <mutex>
#include <vector>

namespace winplat::gdi {

struct DeviceContext;

std::recursive_mutex& gdiLock();
using Guard = std::lock_guard<std::recursive_mutex>;

struct GdiObject {
    explicit GdiObject(DWORD t) : type(t) {}
    virtual ~GdiObject() = default;
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    DWORD type;         // OBJ_PEN, OBJ_BRUSH, OBJ_DC, OBJ_MEMDC, OBJ_PAL, OBJ_FONT, OBJ_BITMAP
    bool stock = false; // never deleted, never counted
    int selections = 0; // DCs that hold it
};

struct Pen : GdiObject {
    Pen() : GdiObject(OBJ_PEN) {}
    UINT style = PS_SOLID;
    int width = 1;
    COLORREF colour = 0;
};

struct Brush : GdiObject {
    Brush() : GdiObject(OBJ_BRUSH) {}
    UINT style = BS_SOLID;
    COLORREF colour = 0;
    int hatch = HS_HORIZONTAL; // BS_HATCHED only
};

struct Palette : GdiObject {
    Palette() : GdiObject(OBJ_PAL) {}
    std::vector<PALETTEENTRY> entries;
    std::vector<BYTE> slots; // system palette slot of each entry, from the last realization
};

struct Font : GdiObject {
    Font() : GdiObject(OBJ_FONT) {}
    LOGFONTA log{};
};

struct Bitmap : GdiObject {
    Bitmap() : GdiObject(OBJ_BITMAP) {}
    ~Bitmap() override;
    Surface surface;
    BYTE* storage = nullptr;       // calloc'ed pixels
    std::vector<RGBQUAD> ownTable; // colours of an indexed bitmap that has its own
    bool dibSection = false;
    BITMAPINFOHEADER dibHeader{}; // as the DIB section was asked for
    DeviceContext* selectedInto = nullptr;
};

// Registers a new object and gives its handle; null (and the object deleted) when `object`
// is null.
HGDIOBJ adopt(GdiObject* object);
GdiObject* lookup(HGDIOBJ handle);

template <class T> T* lookupAs(HGDIOBJ handle, DWORD type) {
    GdiObject* o = lookup(handle);
    return o != nullptr && o->type == type ? static_cast<T*>(o) : nullptr;
}

inline Pen* lookupPen(HGDIOBJ h) {
    return lookupAs<Pen>(h, OBJ_PEN);
}
inline Brush* lookupBrush(HGDIOBJ h) {
    return lookupAs<Brush>(h, OBJ_BRUSH);
}
inline Palette* lookupPalette(HGDIOBJ h) {
    return lookupAs<Palette>(h, OBJ_PAL);
}
inline Font* lookupFont(HGDIOBJ h) {
    return lookupAs<Font>(h, OBJ_FONT);
}
inline Bitmap* lookupBitmap(HGDIOBJ h) {
    return lookupAs<Bitmap>(h, OBJ_BITMAP);
}
DeviceContext* lookupDC(HDC dc);

// Removes an object from the table and deletes it; the caller has checked it may go.
void destroy(GdiObject* object);

// The stock objects, made once.
GdiObject* stockObject(int index);
Bitmap* stockBitmap(); // the 1 x 1 monochrome bitmap a fresh memory DC holds

// A bitmap with zeroed pixels of the given format, or null when it is too large. Indexed
// formats get a copy of `table` (or use `sharedTable` when it is given, as device bitmaps of a
// palette device do, whose colours are the system palette's).
Bitmap* newBitmap(int width, int height, int bits, const RGBQUAD* table, int tableSize,
                  bool monochrome, bool bottomUp, const RGBQUAD* sharedTable = nullptr);

// Handles as their typed names.
template <class H> H handleOf(GdiObject* o) {
    return static_cast<H>(static_cast<HGDIOBJ>(o));
}

} // namespace winplat::gdi
