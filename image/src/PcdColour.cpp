// Photo CD colour: luminance and two chrominance bytes to red, green and blue through fixed
// coefficients and the format's tone curve.
#include "PcdReader.h"

#include "Trace.h"

namespace img {
namespace {

// Indexed by the converted value, clamped to 0 .. 350.
const BYTE kToneCurve[351] = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,
    19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  29,  30,  31,  32,  33,  34,  35,  36,
    37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  52,  53,  54,  55,
    56,  57,  58,  59,  60,  61,  62,  63,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,
    76,  77,  78,  79,  80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  95,
    96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 114, 115,
    116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 135,
    136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154,
    155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173,
    174, 175, 175, 176, 177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 187, 188, 189, 190,
    191, 192, 193, 194, 194, 195, 196, 197, 198, 199, 199, 200, 201, 202, 203, 203, 204, 205, 206,
    207, 207, 208, 209, 210, 210, 211, 212, 213, 213, 214, 215, 215, 216, 217, 218, 218, 219, 220,
    220, 221, 222, 222, 223, 223, 224, 225, 225, 226, 227, 227, 228, 228, 229, 229, 230, 230, 231,
    232, 232, 233, 233, 234, 234, 235, 235, 235, 236, 236, 237, 237, 238, 238, 238, 239, 239, 240,
    240, 240, 241, 241, 242, 242, 242, 243, 243, 243, 243, 244, 244, 244, 245, 245, 245, 245, 246,
    246, 246, 247, 247, 247, 247, 247, 248, 248, 248, 248, 249, 249, 249, 249, 249, 249, 250, 250,
    250, 250, 250, 250, 251, 251, 251, 251, 251, 251, 252, 252, 252, 252, 252, 252, 252, 252, 252,
    253, 253, 253, 253, 253, 253, 253, 253, 253, 254, 254, 254, 254, 254, 254, 254, 254, 254, 254,
    254, 254, 255, 255, 255, 255, 255, 255, 255,
};

constexpr int kChannels = 3;

} // namespace

int convertPCDToRGB(Operation& op, BYTE* pixels, int width, int height) {
    // Each input byte's share of red, green and blue, so that a pixel costs only look-ups
    // and additions.
    ScratchBuffer<double> tables(3 * 256 * kChannels);
    if (tables.data() == nullptr) {
        trace(kTraceError, "Unable to allocate memory for color space transform");
        return op.fail(kNoMemory);
    }
    double* luminance = tables.data();
    double* chroma1 = luminance + 256 * kChannels;
    double* chroma2 = chroma1 + 256 * kChannels;
    for (int v = 0; v < 256; ++v) {
        double* y = luminance + v * kChannels;
        y[0] = y[1] = y[2] = 1.402 * v;
        double* c1 = chroma1 + v * kChannels;
        c1[0] = 0.0;
        c1[1] = -0.444066 * (v - 156);
        c1[2] = 2.289 * (v - 156);
        double* c2 = chroma2 + v * kChannels;
        c2[0] = 1.88 * (v - 137);
        c2[1] = -0.95692 * (v - 137);
        c2[2] = 0.0;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    BYTE* p = pixels;
    for (std::size_t i = 0; i < count; ++i, p += kChannels) {
        const double* y = luminance + p[0] * kChannels;
        const double* c1 = chroma1 + p[1] * kChannels;
        const double* c2 = chroma2 + p[2] * kChannels;
        for (int k = 0; k < kChannels; ++k) {
            double v = y[k] + c1[k] + c2[k];
            v = v < 0.0 ? 0.0 : v > 350.0 ? 350.0 : v;
            p[k] = kToneCurve[static_cast<int>(v)];
        }
    }
    return 1;
}

} // namespace img
