// The side-by-side sums of the area averages: four destination pixels at once, each pixel's
// channels in the lanes of one vector, every sum in the order of the plain loops.
#include "ResizeAverages.h"
#include "VectorUnits.h"

#include <cstring>
#include <immintrin.h>

namespace img {
namespace {

__attribute__((target("avx2"))) inline __m256d widenWord(std::int32_t word) {
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
}

struct PixelWords {
    __attribute__((target("avx2"))) __m256d operator()(const BYTE* row, std::size_t offset) const {
        std::int32_t word;
        std::memcpy(&word, row + offset, sizeof word);
        return widenWord(word);
    }
};

struct PaletteWords {
    const RGBQUAD* palette;
    unsigned count;
    __attribute__((target("avx2"))) __m256d operator()(const BYTE* row, std::size_t offset) const {
        const RGBQUAD entry = tableEntry(palette, count, row[offset]);
        std::int32_t word;
        std::memcpy(&word, &entry, sizeof word);
        return widenWord(word);
    }
};

template <class Words>
__attribute__((target("avx2"))) void sumGroup(const AreaWeights& a, std::uint32_t g,
                                              const BYTE* row, std::size_t rowBytes, int rowCount,
                                              Words words, double* sums) {
    const int n = a.groupLength(g);
    const double* weights = a.groupWeights(g);
    const std::size_t* offsets = a.groupOffsets(g);
    const double* rowWeights = a.rowWeights();
    __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
    for (int r = 0; r < rowCount; ++r, row += rowBytes) {
        const double rowWeight = rowWeights[r];
        const double* w = weights;
        const std::size_t* o = offsets;
        for (int i = 0; i < n; ++i, w += 4, o += 4) {
            s0 = _mm256_add_pd(s0,
                               _mm256_mul_pd(_mm256_set1_pd(rowWeight * w[0]), words(row, o[0])));
            s1 = _mm256_add_pd(s1,
                               _mm256_mul_pd(_mm256_set1_pd(rowWeight * w[1]), words(row, o[1])));
            s2 = _mm256_add_pd(s2,
                               _mm256_mul_pd(_mm256_set1_pd(rowWeight * w[2]), words(row, o[2])));
            s3 = _mm256_add_pd(s3,
                               _mm256_mul_pd(_mm256_set1_pd(rowWeight * w[3]), words(row, o[3])));
        }
    }
    _mm256_storeu_pd(sums, s0);
    _mm256_storeu_pd(sums + 4, s1);
    _mm256_storeu_pd(sums + 8, s2);
    _mm256_storeu_pd(sums + 12, s3);
}

} // namespace

void sumGroupPixels(const AreaWeights& a, std::uint32_t g, const BYTE* firstRow,
                    std::size_t rowBytes, int rowCount, double* sums) {
    sumGroup(a, g, firstRow, rowBytes, rowCount, PixelWords{}, sums);
}

void sumGroupIndexed(const AreaWeights& a, std::uint32_t g, const BYTE* firstRow,
                     std::size_t rowBytes, int rowCount, const RGBQUAD* palette, unsigned count,
                     double* sums) {
    sumGroup(a, g, firstRow, rowBytes, rowCount, PaletteWords{palette, count}, sums);
}

} // namespace img
