// The table of live GDI objects, the stock objects, and the calls that act on any object.
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"
#include "win32/metafile.h"
#include "winplat/screen.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

namespace winplat::gdi {
namespace {

// Bitmaps stop well before the allocator would: a hostile size gets a null handle, not an
// exhausted process.
constexpr std::size_t kBitmapByteLimit = std::size_t{256} << 20;

// Never destroyed: other objects' destructors may still run GDI calls at exit.
std::unordered_set<GdiObject*>& liveObjects() {
    static auto* live = new std::unordered_set<GdiObject*>;
    return *live;
}

template <class T> T* makeStock(T* o) {
    o->stock = true;
    liveObjects().insert(o);
    return o;
}

Pen* stockPen(UINT style, COLORREF colour) {
    auto* p = new Pen;
    p->style = style;
    p->colour = colour;
    return makeStock(p);
}

Brush* stockBrush(UINT style, COLORREF colour) {
    auto* b = new Brush;
    b->style = style;
    b->colour = colour;
    return makeStock(b);
}

Font* stockFont(LONG height, LONG weight, BYTE pitch, const char* face) {
    auto* f = new Font;
    f->log.lfHeight = height;
    f->log.lfWeight = weight;
    f->log.lfPitchAndFamily = pitch;
    std::strncpy(f->log.lfFaceName, face, LF_FACESIZE - 1);
    return makeStock(f);
}

struct Stock {
    std::array<GdiObject*, DEFAULT_GUI_FONT + 1> objects{};
    Bitmap* bitmap = nullptr;
};

Stock& stock() {
    static Stock* s = [] {
        auto* st = new Stock;
        auto& o = st->objects;
        o[WHITE_BRUSH] = stockBrush(BS_SOLID, RGB(255, 255, 255));
        o[LTGRAY_BRUSH] = stockBrush(BS_SOLID, RGB(192, 192, 192));
        o[GRAY_BRUSH] = stockBrush(BS_SOLID, RGB(128, 128, 128));
        o[DKGRAY_BRUSH] = stockBrush(BS_SOLID, RGB(64, 64, 64));
        o[BLACK_BRUSH] = stockBrush(BS_SOLID, RGB(0, 0, 0));
        o[NULL_BRUSH] = stockBrush(BS_NULL, 0);
        o[WHITE_PEN] = stockPen(PS_SOLID, RGB(255, 255, 255));
        o[BLACK_PEN] = stockPen(PS_SOLID, RGB(0, 0, 0));
        o[NULL_PEN] = stockPen(PS_NULL, 0);
        o[OEM_FIXED_FONT] = stockFont(12, FW_NORMAL, FIXED_PITCH, "Terminal");
        o[ANSI_FIXED_FONT] = stockFont(12, FW_NORMAL, FIXED_PITCH, "Courier");
        o[ANSI_VAR_FONT] = stockFont(-11, FW_NORMAL, VARIABLE_PITCH, "MS Sans Serif");
        o[SYSTEM_FONT] = stockFont(16, FW_BOLD, VARIABLE_PITCH, "System");
        o[DEVICE_DEFAULT_FONT] = stockFont(16, FW_BOLD, VARIABLE_PITCH, "System");
        o[SYSTEM_FIXED_FONT] = stockFont(15, FW_NORMAL, FIXED_PITCH, "Fixedsys");
        o[DEFAULT_GUI_FONT] = stockFont(-11, FW_NORMAL, VARIABLE_PITCH, "MS Shell Dlg");
        auto* pal = new Palette;
        for (const PALETTEENTRY& e : staticColours())
            pal->entries.push_back(e);
        o[DEFAULT_PALETTE] = makeStock(pal);
        const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        st->bitmap = makeStock(newBitmap(1, 1, 1, mono, 2, true, false));
        return st;
    }();
    return *s;
}

void writeBitmapInfo(const Bitmap& b, BITMAP& out) {
    out = {};
    out.bmWidth = b.surface.width;
    out.bmHeight = b.surface.height;
    out.bmPlanes = 1;
    out.bmBitsPixel = static_cast<WORD>(b.surface.bits);
    if (b.dibSection) {
        out.bmWidthBytes = static_cast<LONG>(dibStride(b.surface.width, b.surface.bits));
        out.bmBits = b.storage;
    } else {
        out.bmWidthBytes = (b.surface.width * b.surface.bits + 15) / 16 * 2;
    }
}

template <class T> int copyOut(const T& value, int bytes, LPVOID buffer) {
    if (buffer == nullptr) return sizeof(T);
    const int n = bytes < static_cast<int>(sizeof(T)) ? bytes : static_cast<int>(sizeof(T));
    if (n <= 0) return 0;
    std::memcpy(buffer, &value, n);
    return n;
}

int bitmapObject(const Bitmap& b, int bytes, LPVOID buffer) {
    BITMAP bm;
    writeBitmapInfo(b, bm);
    if (!b.dibSection)
        return bytes >= static_cast<int>(sizeof bm) || buffer == nullptr
                   ? copyOut(bm, bytes, buffer)
                   : 0;
    if (buffer == nullptr) return sizeof(DIBSECTION);
    if (bytes < static_cast<int>(sizeof(BITMAP))) return 0;
    if (bytes < static_cast<int>(sizeof(DIBSECTION))) return copyOut(bm, bytes, buffer);
    DIBSECTION ds{};
    ds.dsBm = bm;
    ds.dsBmih = b.dibHeader;
    if (ds.dsBmih.biSizeImage == 0)
        ds.dsBmih.biSizeImage =
            static_cast<DWORD>(dibStride(b.surface.width, b.surface.bits) * b.surface.height);
    std::memcpy(ds.dsBitfields, b.surface.masks, sizeof ds.dsBitfields);
    return copyOut(ds, bytes, buffer);
}

template <class T> HGDIOBJ swapSelection(T*& slot, T* next) {
    T* old = slot;
    if (old != nullptr) --old->selections;
    ++next->selections;
    slot = next;
    return old;
}

HGDIOBJ selectBitmap(DeviceContext& dc, Bitmap* b) {
    if (dc.kind != DcKind::Memory) return nullptr;
    if (b->selectedInto == &dc) return b;
    if (b->selectedInto != nullptr) return nullptr;
    if (failNow(WINPLAT_CALL_SELECT_BITMAP)) return nullptr;
    Bitmap* old = dc.bitmap;
    if (old != nullptr) {
        --old->selections;
        if (old->selectedInto == &dc) old->selectedInto = nullptr;
    }
    ++b->selections;
    if (!b->stock) b->selectedInto = &dc;
    dc.bitmap = b;
    dc.area = {0, 0, b->surface.width, b->surface.height};
    dc.clip = dc.area;
    return old;
}

} // namespace

std::recursive_mutex& gdiLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

Bitmap::~Bitmap() {
    std::free(storage);
}

HGDIOBJ adopt(GdiObject* object) {
    if (object == nullptr) return nullptr;
    liveObjects().insert(object);
    return object;
}

GdiObject* lookup(HGDIOBJ handle) {
    if (handle == nullptr) return nullptr;
    auto& live = liveObjects();
    auto it = live.find(static_cast<GdiObject*>(handle));
    return it != live.end() ? *it : nullptr;
}

DeviceContext* lookupDC(HDC dc) {
    GdiObject* o = lookup(dc);
    return o != nullptr && (o->type == OBJ_DC || o->type == OBJ_MEMDC)
               ? static_cast<DeviceContext*>(o)
               : nullptr;
}

void destroy(GdiObject* object) {
    if (object == nullptr || object->stock) return;
    liveObjects().erase(object);
    delete object;
}

GdiObject* stockObject(int index) {
    if (index < 0 || index >= static_cast<int>(stock().objects.size())) return nullptr;
    return stock().objects[index];
}

Bitmap* stockBitmap() {
    return stock().bitmap;
}

Bitmap* newBitmap(int width, int height, int bits, const RGBQUAD* table, int tableSize,
                  bool monochrome, bool bottomUp, const RGBQUAD* sharedTable) {
    const std::size_t stride = dibStride(width, bits);
    if (stride == 0 || height <= 0 || stride > kBitmapByteLimit / height) return nullptr;
    BYTE* storage = static_cast<BYTE*>(std::calloc(stride * height, 1));
    if (storage == nullptr) return nullptr;
    auto* b = new Bitmap;
    b->storage = storage;
    Surface& s = b->surface;
    s.width = width;
    s.height = height;
    s.bits = bits;
    s.monochrome = monochrome;
    const auto step = static_cast<std::ptrdiff_t>(stride);
    s.top = bottomUp ? storage + (height - 1) * step : storage;
    s.step = bottomUp ? -step : step;
    if (bits <= 8) {
        if (sharedTable != nullptr) {
            s.table = sharedTable;
            s.tableSize = 256;
        } else {
            const int size = tableSize < (1 << bits) ? tableSize : (1 << bits);
            if (table != nullptr && size > 0) b->ownTable.assign(table, table + size);
            b->ownTable.resize(static_cast<std::size_t>(1) << bits, RGBQUAD{0, 0, 0, 0});
            s.table = b->ownTable.data();
            s.tableSize = static_cast<int>(b->ownTable.size());
        }
    }
    return b;
}

} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

std::size_t winplatLiveGdiObjects(int kind) {
    Guard guard(gdiLock());
    std::size_t n = 0;
    for (const GdiObject* o : liveObjects()) {
        if (o->stock) continue;
        int k = WINPLAT_GDI_ALL;
        switch (o->type) {
        case OBJ_BITMAP:
            k = WINPLAT_GDI_BITMAPS;
            break;
        case OBJ_DC:
        case OBJ_MEMDC:
            k = WINPLAT_GDI_DCS;
            break;
        case OBJ_PEN:
            k = WINPLAT_GDI_PENS;
            break;
        case OBJ_BRUSH:
            k = WINPLAT_GDI_BRUSHES;
            break;
        case OBJ_FONT:
            k = WINPLAT_GDI_FONTS;
            break;
        case OBJ_PAL:
            k = WINPLAT_GDI_PALETTES;
            break;
        case OBJ_REGION:
            k = WINPLAT_GDI_REGIONS;
            break;
        case OBJ_METAFILE:
        case OBJ_ENHMETAFILE:
            k = WINPLAT_GDI_METAFILES;
            break;
        default:
            break;
        }
        if (kind == WINPLAT_GDI_ALL || kind == k) ++n;
    }
    return n;
}

HGDIOBJ GetStockObject(int index) {
    Guard guard(gdiLock());
    return stockObject(index);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    GdiObject* o = lookup(object);
    if (dc == nullptr || o == nullptr) return nullptr;
    switch (o->type) {
    case OBJ_PEN:
        return swapSelection(dc->pen, static_cast<Pen*>(o));
    case OBJ_BRUSH:
        return swapSelection(dc->brush, static_cast<Brush*>(o));
    case OBJ_FONT:
        return swapSelection(dc->font, static_cast<Font*>(o));
    case OBJ_BITMAP:
        return selectBitmap(*dc, static_cast<Bitmap*>(o));
    default:
        return nullptr; // palettes go through SelectPalette
    }
}

BOOL DeleteObject(HGDIOBJ object) {
    Guard guard(gdiLock());
    GdiObject* o = lookup(object);
    if (o == nullptr || o->type == OBJ_DC || o->type == OBJ_MEMDC || o->type == OBJ_METAFILE ||
        o->type == OBJ_ENHMETAFILE)
        return FALSE;
    if (o->stock) return TRUE;
    if (o->selections > 0) return FALSE;
    destroy(o);
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
    Guard guard(gdiLock());
    GdiObject* o = lookup(object);
    return o != nullptr ? o->type : 0;
}

int GetObjectA(HANDLE object, int bytes, LPVOID buffer) {
    Guard guard(gdiLock());
    GdiObject* o = lookup(object);
    if (o == nullptr) return 0;
    switch (o->type) {
    case OBJ_BITMAP:
        return bitmapObject(*static_cast<Bitmap*>(o), bytes, buffer);
    case OBJ_PAL: {
        const auto count = static_cast<WORD>(static_cast<Palette*>(o)->entries.size());
        return copyOut(count, bytes, buffer);
    }
    case OBJ_PEN: {
        const auto* p = static_cast<Pen*>(o);
        LOGPEN lp{p->style, {p->width, 0}, p->colour};
        return copyOut(lp, bytes, buffer);
    }
    case OBJ_BRUSH: {
        const auto* b = static_cast<Brush*>(o);
        LOGBRUSH lb{b->style, b->colour,
                    b->style == BS_HATCHED ? static_cast<ULONG_PTR>(b->hatch) : 0};
        return copyOut(lb, bytes, buffer);
    }
    case OBJ_FONT:
        return copyOut(static_cast<Font*>(o)->log, bytes, buffer);
    default:
        return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return nullptr;
    switch (type) {
    case OBJ_PEN:
        return dc->pen;
    case OBJ_BRUSH:
        return dc->brush;
    case OBJ_FONT:
        return dc->font;
    case OBJ_PAL:
        return dc->palette;
    case OBJ_BITMAP:
        return dc->bitmap;
    default:
        return nullptr;
    }
}

} // extern "C"
