// Tags that libtiff does not know by itself: the EXIF offset, annotations and GeoTIFF's, so
// that files carrying them read without complaint.
#include "TiffReader.h"

#include <mutex>

namespace img {
namespace {

char* name(const char* text) {
    return const_cast<char*>(text);
}

// libtiff keeps its own, 64-bit, definition of the EXIF offset and skips ours; nothing here
// reads that tag.
const TIFFFieldInfo kFields[] = {
    {34665, 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 0, name("EXIF Offset")},
    {32932, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_BYTE, FIELD_CUSTOM, 0, 1, name("baAnnotations")},
    {33550, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, name("GeoPixelScale")},
    {33920, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     name("Intergraph TransformationMatrix")},
    {34264, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     name("GeoTransformationMatrix")},
    {33922, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, name("GeoTiePoints")},
    {34735, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_SHORT, FIELD_CUSTOM, 1, 1, name("GeoKeyDirectory")},
    {34736, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, name("GeoDoubleParams")},
    {34737, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_ASCII, FIELD_CUSTOM, 1, 0, name("GeoASCIIParams")},
};

TIFFExtendProc g_previousExtender = nullptr;

void extendDirectory(TIFF* tif) {
    TIFFMergeFieldInfo(tif, kFields, sizeof kFields / sizeof kFields[0]);
    if (g_previousExtender != nullptr) g_previousExtender(tif);
}

} // namespace

// Two threads opening their first file at once must not both install it: the second would
// keep ours as "previous" and the extender would call itself without end.
void installTiffTagExtender() {
    static std::once_flag installed;
    std::call_once(installed, [] { g_previousExtender = TIFFSetTagExtender(extendDirectory); });
}

} // namespace img
