#include "FilterPasses.h"

#include "VectorUnits.h"

#include <cstring>
#include <immintrin.h>

namespace img {
namespace {

bool channelFlat(const BYTE* base, const Taps& taps, std::uint32_t k, BYTE first) {
    for (int i = 1; i < taps.count; ++i)
        if (base[taps.offsets[i] + k] != first) return false;
    return true;
}

// The result of one channel: a channel whose samples were all equal keeps the first. That
// only matters where the rounded sum is not the first sample already, so the samples are
// compared only there, and only until one differs.
BYTE finishChannel(double sum, const BYTE* base, const Taps& taps, std::uint32_t k) {
    const BYTE rounded = roundedByte(sum);
    if (taps.equalSamplesRoundBack) return rounded;
    const BYTE first = base[taps.offsets[0] + k];
    return rounded != first && channelFlat(base, taps, k, first) ? first : rounded;
}

// Rows pixels rowBytes apart under the same taps, all their channels in one pass.
template <std::uint32_t Channels, int Rows>
void filterPlain(const BYTE* base, std::size_t rowBytes, const Taps& taps, BYTE* out) {
    double sums[Rows][Channels] = {};
    for (int i = 0; i < taps.count; ++i) {
        const double w = taps.entries[i].weight;
        const BYTE* p = base + taps.offsets[i];
        for (int r = 0; r < Rows; ++r)
            for (std::uint32_t k = 0; k < Channels; ++k)
                sums[r][k] += w * p[r * rowBytes + k];
    }
    for (int r = 0; r < Rows; ++r)
        for (std::uint32_t k = 0; k < Channels; ++k)
            out[r * Channels + k] = finishChannel(sums[r][k], base + r * rowBytes, taps, k);
}

// Any pixel size, one channel at a time.
void filterChannels(const BYTE* base, std::uint32_t bpp, const Taps& taps, BYTE* out) {
    for (std::uint32_t k = 0; k < bpp; ++k) {
        double x = 0;
        for (int i = 0; i < taps.count; ++i)
            x += taps.entries[i].weight * base[taps.offsets[i] + k];
        out[k] = finishChannel(x, base, taps, k);
    }
}

void filterPixelPlain(const BYTE* base, std::uint32_t bpp, const Taps& taps, BYTE* out) {
    if (taps.count < 2) {
        for (std::uint32_t k = 0; k < bpp; ++k)
            out[k] = taps.count == 0 ? 0 : base[taps.offsets[0] + k];
        return;
    }
    switch (bpp) {
    case 3:
        filterPlain<3, 1>(base, 0, taps, out);
        break;
    case 4:
        filterPlain<4, 1>(base, 0, taps, out);
        break;
    default:
        filterChannels(base, bpp, taps, out);
        break;
    }
}

// Two rows side by side where the pixel size allows, else one.
std::uint32_t filterRowsPlain(const BYTE* row, std::size_t rowBytes, std::uint32_t rows,
                              std::uint32_t bpp, const Taps& taps, BYTE* out) {
    if (rows < 2 || taps.count < 2) return 0;
    if (bpp == 3)
        filterPlain<3, 2>(row, rowBytes, taps, out);
    else if (bpp == 4)
        filterPlain<4, 2>(row, rowBytes, taps, out);
    else
        return 0;
    return 2;
}

// The vector forms hold the (up to) four channels of a pixel in the four lanes of a vector.
// A 3-byte pixel is loaded as a 32-bit word, so callers keep a readable byte after every
// pixel they pass; the extra lane is computed and never stored.

// One pixel's channels widened to 32 bits.
__attribute__((target("avx2"))) inline __m128i loadPixel(const BYTE* p) {
    std::int32_t word;
    std::memcpy(&word, p, sizeof word);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(word));
}

// A running sum per channel, and the first sample.
struct Lane {
    __m256d sum;
    __m128i first;
};

__attribute__((target("avx2"))) inline Lane startLane(const BYTE* base, std::size_t offset) {
    return {_mm256_setzero_pd(), loadPixel(base + offset)};
}

__attribute__((target("avx2"))) inline void addTap(Lane& lane, const BYTE* p, __m256d weight) {
    lane.sum = _mm256_add_pd(lane.sum, _mm256_mul_pd(weight, _mm256_cvtepi32_pd(loadPixel(p))));
}

// The channel bytes of a finished sum: halves away from zero and limited to a byte (as
// roundedByte does), except that a channel whose samples were all equal keeps the first.
// That only matters where the rounded sum is not already the first sample, so the samples
// are compared only there, and only until one differs.
__attribute__((target("avx2"))) inline std::uint32_t
finishLane(const Lane& lane, const BYTE* base, const Taps& taps, std::uint32_t bpp) {
    __m256d r = _mm256_add_pd(lane.sum, _mm256_set1_pd(0.5));
    r = _mm256_min_pd(_mm256_max_pd(r, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    const __m128i rounded = _mm256_cvttpd_epi32(r);
    const __m128i pick = _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const auto word =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(rounded, pick)));
    if (taps.equalSamplesRoundBack) return word;
    const auto first =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(lane.first, pick)));
    std::uint32_t result = word;
    for (std::uint32_t k = 0; k < bpp; ++k) {
        const unsigned shift = 8 * k;
        const auto c = static_cast<BYTE>(first >> shift);
        if (static_cast<BYTE>(word >> shift) != c && channelFlat(base, taps, k, c))
            result = (result & ~(0xFFu << shift)) | (static_cast<std::uint32_t>(c) << shift);
    }
    return result;
}

__attribute__((target("avx2"))) void filterPixelVector(const BYTE* base, std::uint32_t bpp,
                                                       const Taps& taps, BYTE* out) {
    Lane lane = startLane(base, taps.offsets[0]);
    for (int i = 0; i < taps.count; ++i)
        addTap(lane, base + taps.offsets[i], _mm256_broadcast_sd(&taps.entries[i].weight));
    const std::uint32_t word = finishLane(lane, base, taps, bpp);
    std::memcpy(out, &word, bpp);
}

// Four source rows side by side: four independent sums share each weight. The pixels are
// stored as whole words in increasing order, so a 3-byte pixel's spare byte is overwritten
// by the next one.
__attribute__((target("avx2"))) void filterFourRows(const BYTE* row, std::size_t rowBytes,
                                                    std::uint32_t bpp, const Taps& taps,
                                                    BYTE* out) {
    const BYTE* r[4] = {row, row + rowBytes, row + 2 * rowBytes, row + 3 * rowBytes};
    const std::size_t o0 = taps.offsets[0];
    Lane l0 = startLane(r[0], o0), l1 = startLane(r[1], o0);
    Lane l2 = startLane(r[2], o0), l3 = startLane(r[3], o0);
    const int n = taps.count;
    for (int i = 0; i < n; ++i) {
        const std::size_t o = taps.offsets[i];
        const __m256d w = _mm256_broadcast_sd(&taps.entries[i].weight);
        addTap(l0, r[0] + o, w);
        addTap(l1, r[1] + o, w);
        addTap(l2, r[2] + o, w);
        addTap(l3, r[3] + o, w);
    }
    const std::uint32_t words[4] = {
        finishLane(l0, r[0], taps, bpp), finishLane(l1, r[1], taps, bpp),
        finishLane(l2, r[2], taps, bpp), finishLane(l3, r[3], taps, bpp)};
    for (int k = 0; k < 4; ++k)
        std::memcpy(out + k * bpp, &words[k], sizeof words[k]);
}

// Four destination pixels of one column whose lists have the same length, side by side.
__attribute__((target("avx2"))) void filterFourPixels(const BYTE* base, std::uint32_t bpp,
                                                      const Taps* taps, BYTE* const* out) {
    Lane l0 = startLane(base, taps[0].offsets[0]), l1 = startLane(base, taps[1].offsets[0]);
    Lane l2 = startLane(base, taps[2].offsets[0]), l3 = startLane(base, taps[3].offsets[0]);
    const int n = taps[0].count;
    for (int i = 0; i < n; ++i) {
        addTap(l0, base + taps[0].offsets[i], _mm256_broadcast_sd(&taps[0].entries[i].weight));
        addTap(l1, base + taps[1].offsets[i], _mm256_broadcast_sd(&taps[1].entries[i].weight));
        addTap(l2, base + taps[2].offsets[i], _mm256_broadcast_sd(&taps[2].entries[i].weight));
        addTap(l3, base + taps[3].offsets[i], _mm256_broadcast_sd(&taps[3].entries[i].weight));
    }
    const std::uint32_t words[4] = {
        finishLane(l0, base, taps[0], bpp), finishLane(l1, base, taps[1], bpp),
        finishLane(l2, base, taps[2], bpp), finishLane(l3, base, taps[3], bpp)};
    for (int k = 0; k < 4; ++k)
        std::memcpy(out[k], &words[k], bpp);
}

bool vectorPath(std::uint32_t bpp, const Taps& taps) {
    return (bpp == 3 || bpp == 4) && taps.count >= 2 && vectorUnitsAvailable();
}

} // namespace

void filterPixel(const BYTE* base, std::uint32_t bpp, const Taps& taps, BYTE* out) {
    if (vectorPath(bpp, taps))
        filterPixelVector(base, bpp, taps, out);
    else
        filterPixelPlain(base, bpp, taps, out);
}

void filterSourceRows(const BYTE* source, std::size_t rowBytes, std::uint32_t rows,
                      std::uint32_t bpp, const Taps& taps, BYTE* column, bool endsSource) {
    std::uint32_t y = 0;
    if (vectorPath(bpp, taps)) {
        // The source's last row keeps to the plain form: its last pixel may end the caller's
        // buffer.
        const std::uint32_t reach = endsSource ? rows : rows + 1;
        for (; y + 4 < reach; y += 4)
            filterFourRows(source + y * rowBytes, rowBytes, bpp, taps, column + y * bpp);
    }
    while (y < rows) {
        const BYTE* row = source + y * rowBytes;
        const std::uint32_t done =
            filterRowsPlain(row, rowBytes, rows - y, bpp, taps, column + y * bpp);
        if (done == 0) {
            filterPixelPlain(row, bpp, taps, column + y * bpp);
            ++y;
        }
        y += done;
    }
}

void filterColumnInto(const BYTE* column, std::uint32_t bpp, const Taps* rowTaps,
                      std::uint32_t rows, BYTE* out, std::size_t rowBytes) {
    std::uint32_t i = 0;
    if ((bpp == 3 || bpp == 4) && vectorUnitsAvailable()) {
        for (; i + 4 <= rows; i += 4) {
            const Taps* t = rowTaps + i;
            const int n = t[0].count;
            if (n < 2 || t[1].count != n || t[2].count != n || t[3].count != n) {
                for (int k = 0; k < 4; ++k)
                    filterPixel(column, bpp, t[k], out + (i + k) * rowBytes);
                continue;
            }
            BYTE* const targets[4] = {out + i * rowBytes, out + (i + 1) * rowBytes,
                                      out + (i + 2) * rowBytes, out + (i + 3) * rowBytes};
            filterFourPixels(column, bpp, t, targets);
        }
    }
    for (; i < rows; ++i)
        filterPixel(column, bpp, rowTaps[i], out + i * rowBytes);
}

} // namespace img
