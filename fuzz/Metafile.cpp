// The metafile player on the input as enhanced and as old-style bits, then loadMetafile on it
// as a file. The last byte picks the frame the player draws into. loadMetafile renders at the
// size the header gives, so it only sees pictures of up to a quarter million pixels: one
// header asking for a poster would otherwise take the whole run.
#include "FuzzSource.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kMaxPixels = 512.0 * 512.0;

bool smallPicture(const std::uint8_t* data, std::size_t size) {
    std::uint32_t key = 0;
    if (size >= 4) std::memcpy(&key, data, 4);
    if (key == 0x9AC6CDD7u && size >= 22) {
        std::int16_t box[4];
        std::uint16_t units = 0;
        std::memcpy(box, data + 6, sizeof box);
        std::memcpy(&units, data + 14, 2);
        const double w = std::abs(box[2] - box[0]) * 96.0 / (units != 0 ? units : 1);
        const double h = std::abs(box[3] - box[1]) * 96.0 / (units != 0 ? units : 1);
        return box[2] >= box[0] && box[3] >= box[1] && w * h <= kMaxPixels;
    }
    HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(size), data);
    if (e == nullptr) return true; // old-style pictures come out at 37 x 37 pixels
    ENHMETAHEADER h{};
    GetEnhMetaFileHeader(e, sizeof h, &h);
    DeleteEnhMetaFile(e);
    if (h.szlMillimeters.cx <= 0 || h.szlMillimeters.cy <= 0) return true;
    const double w = std::abs(static_cast<double>(h.rclFrame.right) - h.rclFrame.left) *
                     h.szlDevice.cx / (h.szlMillimeters.cx * 100.0);
    const double v = std::abs(static_cast<double>(h.rclFrame.bottom) - h.rclFrame.top) *
                     h.szlDevice.cy / (h.szlMillimeters.cy * 100.0);
    return w * v <= kMaxPixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t option = size > 0 ? data[size - 1] : 0;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 48);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT frame{-(option & 7), -(option >> 5), 64 - (option & 0x18), 48};
    const METAFILEPICT picture{MM_ANISOTROPIC, 1000 + option, 1000, nullptr};
    for (HENHMETAFILE h : {SetEnhMetaFileBits(static_cast<UINT>(size), data),
                           SetWinMetaFileBits(static_cast<UINT>(size), data, screen, &picture)})
        if (h != nullptr) {
            PlayEnhMetaFile(dc, h, &frame);
            DeleteEnhMetaFile(h);
        }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    if (!smallPicture(data, size)) return 0;
    const std::string& path = fuzzing::scratchPath(".wmf");
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size != 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
        int width = 0, height = 0;
        fuzzing::release(loadMetafile(path.c_str(), &width, &height, 500, 500, 0xFFFFFF, 0));
    }
    return 0;
}
