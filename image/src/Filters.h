// The filter kernels of the filtered resampler, each with the distance beyond which it is
// not evaluated.
#pragma once

namespace img {

using FilterKernel = double (*)(double x);

struct Filter {
    FilterKernel kernel;
    double support;
};

inline constexpr int kFilterCount = 14;

// The kernel of filter index 0 .. kFilterCount - 1, or null for any other index.
const Filter* filterAt(int index);

// The kernel used until a filter has been chosen.
const Filter& defaultFilter();

} // namespace img
