// The metafile player on the input as enhanced and as old-style bits, then loadMetafile on it
// as a file. The last byte picks the frame the player draws into.
#include "FuzzSource.h"

#include <cstdio>
#include <cstring>

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

    const std::string& path = fuzzing::scratchPath(".wmf");
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size != 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
        int width = 0, height = 0;
        fuzzing::release(loadMetafile(path.c_str(), &width, &height, 500, 500, 0xFFFFFF, 0));
    }
    return 0;
}
