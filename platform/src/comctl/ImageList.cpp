// Image lists. Images are kept as colours with a transparency mask outside GDI, so that a list
// holds no GDI object and its images survive whatever happens to the bitmaps they came from.
// Drawing reads the destination, composes and writes it back, which needs only SRCCOPY.
#include "win32/commctrl.h"
#include "win32/kernel.h"
#include "winplat/accounting.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace {

struct Image {
    std::vector<COLORREF> pixels; // row by row, top first
    std::vector<bool> transparent;
};

struct ImageList {
    int cx;
    int cy;
    UINT flags;
    COLORREF background = CLR_NONE;
    std::vector<Image> images;
};

std::mutex g_lock;
std::unordered_set<ImageList*>& liveLists() {
    static auto* s = new std::unordered_set<ImageList*>;
    return *s;
}

ImageList* lookup(HIMAGELIST handle) {
    auto* list = reinterpret_cast<ImageList*>(handle);
    std::lock_guard<std::mutex> guard(g_lock);
    return liveLists().count(list) != 0 ? list : nullptr;
}

// A bitmap's pixels as colours, top row first; empty when it cannot be read.
std::vector<COLORREF> readBitmap(HBITMAP bitmap, int* width, int* height) {
    BITMAP bm{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 ||
        bm.bmHeight <= 0)
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<RGBQUAD> quads(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(bm.bmHeight), quads.data(), &info,
                          DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != bm.bmHeight) return {};
    std::vector<COLORREF> out(quads.size());
    for (std::size_t i = 0; i < quads.size(); ++i)
        out[i] = RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue);
    *width = bm.bmWidth;
    *height = bm.bmHeight;
    return out;
}

// Cuts a bitmap into cells; `isTransparent` decides each pixel's mask bit.
template <class Transparent>
int addImages(ImageList* list, const std::vector<COLORREF>& pixels, int width, int height,
              Transparent isTransparent) {
    int count = width / list->cx;
    if (count <= 0) return -1;
    int first = static_cast<int>(list->images.size());
    std::size_t cell = static_cast<std::size_t>(list->cx) * list->cy;
    for (int n = 0; n < count; ++n) {
        Image image{std::vector<COLORREF>(cell, 0), std::vector<bool>(cell, false)};
        for (int y = 0; y < list->cy; ++y) {
            for (int x = 0; x < list->cx; ++x) {
                std::size_t at = static_cast<std::size_t>(y) * list->cx + x;
                if (y >= height) {
                    image.transparent[at] = (list->flags & ILC_MASK) != 0;
                    continue;
                }
                std::size_t from = static_cast<std::size_t>(y) * width + n * list->cx + x;
                image.pixels[at] = pixels[from];
                image.transparent[at] = (list->flags & ILC_MASK) != 0 && isTransparent(from);
            }
        }
        list->images.push_back(std::move(image));
    }
    return first;
}

COLORREF mix(COLORREF a, COLORREF b, int aPart, int parts) {
    auto channel = [&](int shift) {
        int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        return static_cast<COLORREF>((ca * aPart + cb * (parts - aPart)) / parts) << shift;
    };
    return channel(0) | channel(8) | channel(16);
}

RGBQUAD toQuad(COLORREF c) {
    return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
}

} // namespace

extern "C" {

std::size_t winplatLiveImageLists() {
    std::lock_guard<std::mutex> guard(g_lock);
    return liveLists().size();
}

void InitCommonControls() {}

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
    // Cells are limited so that their pixel count stays far from overflow.
    if (cx <= 0 || cy <= 0 || cx > 16384 || cy > 16384) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* list = new ImageList{cx, cy, flags, CLR_NONE, {}};
    std::lock_guard<std::mutex> guard(g_lock);
    liveLists().insert(list);
    return reinterpret_cast<HIMAGELIST>(list);
}

BOOL ImageList_Destroy(HIMAGELIST handle) {
    ImageList* list = lookup(handle);
    if (list == nullptr) return FALSE;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        liveLists().erase(list);
    }
    delete list;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST handle) {
    ImageList* list = lookup(handle);
    return list != nullptr ? static_cast<int>(list->images.size()) : 0;
}

int ImageList_Add(HIMAGELIST handle, HBITMAP image, HBITMAP mask) {
    ImageList* list = lookup(handle);
    if (list == nullptr) return -1;
    int width = 0, height = 0;
    std::vector<COLORREF> pixels = readBitmap(image, &width, &height);
    if (pixels.empty()) return -1;
    int maskWidth = 0, maskHeight = 0;
    std::vector<COLORREF> maskPixels =
        mask != nullptr ? readBitmap(mask, &maskWidth, &maskHeight) : std::vector<COLORREF>{};
    return addImages(list, pixels, width, height, [&](std::size_t at) {
        std::size_t x = at % static_cast<std::size_t>(width),
                    y = at / static_cast<std::size_t>(width);
        if (maskPixels.empty() || x >= static_cast<std::size_t>(maskWidth) ||
            y >= static_cast<std::size_t>(maskHeight))
            return false;
        return maskPixels[y * static_cast<std::size_t>(maskWidth) + x] != RGB(0, 0, 0);
    });
}

int ImageList_AddMasked(HIMAGELIST handle, HBITMAP image, COLORREF maskColour) {
    ImageList* list = lookup(handle);
    if (list == nullptr) return -1;
    int width = 0, height = 0;
    std::vector<COLORREF> pixels = readBitmap(image, &width, &height);
    if (pixels.empty()) return -1;
    COLORREF key = maskColour & 0x00FFFFFFu;
    return addImages(list, pixels, width, height,
                     [&](std::size_t at) { return pixels[at] == key; });
}

BOOL ImageList_Remove(HIMAGELIST handle, int index) {
    ImageList* list = lookup(handle);
    if (list == nullptr) return FALSE;
    if (index == -1) {
        list->images.clear();
        return TRUE;
    }
    if (index < 0 || index >= static_cast<int>(list->images.size())) return FALSE;
    list->images.erase(list->images.begin() + index);
    return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT style) {
    ImageList* list = lookup(handle);
    if (list == nullptr || dc == nullptr || index < 0 ||
        index >= static_cast<int>(list->images.size()))
        return FALSE;
    const Image& image = list->images[static_cast<std::size_t>(index)];
    int w = list->cx, h = list->cy;
    BITMAPINFO info{};
    info.bmiHeader =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory == nullptr || canvas == nullptr || bits == nullptr) {
        if (canvas != nullptr) DeleteObject(canvas);
        if (memory != nullptr) DeleteDC(memory);
        return FALSE;
    }
    HGDIOBJ old = SelectObject(memory, canvas);
    BitBlt(memory, 0, 0, w, h, dc, x, y, SRCCOPY);
    auto* quads = static_cast<RGBQUAD*>(bits);
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    bool showBackground = list->background != CLR_NONE && (style & ILD_TRANSPARENT) == 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        COLORREF c = image.pixels[i];
        if (image.transparent[i]) {
            if (!showBackground) continue;
            c = list->background;
        }
        if ((style & ILD_MASK) != 0) c = image.transparent[i] ? RGB(255, 255, 255) : RGB(0, 0, 0);
        if ((style & ILD_BLEND50) != 0)
            c = mix(c, highlight, 1, 2);
        else if ((style & ILD_BLEND25) != 0)
            c = mix(c, highlight, 3, 4);
        quads[i] = toQuad(c);
    }
    BitBlt(dc, x, y, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(canvas);
    DeleteDC(memory);
    return TRUE;
}

BOOL ImageList_GetImageInfo(HIMAGELIST handle, int index, IMAGEINFO* info) {
    ImageList* list = lookup(handle);
    if (list == nullptr || info == nullptr || index < 0 ||
        index >= static_cast<int>(list->images.size()))
        return FALSE;
    *info = IMAGEINFO{nullptr, nullptr, 0, 0,
                      RECT{index * list->cx, 0, (index + 1) * list->cx, list->cy}};
    return TRUE;
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy) {
    ImageList* list = lookup(handle);
    if (list == nullptr || cx == nullptr || cy == nullptr) return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST handle, COLORREF colour) {
    ImageList* list = lookup(handle);
    if (list == nullptr) return CLR_NONE;
    COLORREF old = list->background;
    list->background = colour;
    return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST handle) {
    ImageList* list = lookup(handle);
    return list != nullptr ? list->background : CLR_NONE;
}

} // extern "C"
