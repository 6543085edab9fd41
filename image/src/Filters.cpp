#include "Filters.h"

#include <cmath>

namespace img {
namespace {

constexpr double kPi = 3.14159265358979323846;

double sinc(double x) {
    const double px = kPi * x;
    return px == 0 ? 1.0 : std::sin(px) / px;
}

double box(double x) {
    return x > -0.5 && x <= 0.5 ? 1.0 : 0.0;
}

double triangle(double x) {
    const double ax = std::fabs(x);
    return ax < 1 ? 1 - ax : 0.0;
}

double hamming(double x) {
    return 0.54 + 0.46 * std::cos(kPi * x);
}

double gaussian(double x) {
    return std::exp(-2.0 * x * x) * std::sqrt(2.0 / kPi);
}

double bell(double x) {
    const double ax = std::fabs(x);
    if (ax < 0.5) return 0.75 - x * x;
    if (ax < 1.5) {
        const double t = ax - 1.5;
        return 0.5 * (t * t);
    }
    return 0.0;
}

double bSpline(double x) {
    const double ax = std::fabs(x);
    if (ax < 1) return 0.5 * ax * ax * ax - x * x + 2.0 / 3.0;
    if (ax < 2) {
        const double t = 2 - ax;
        return t * t * t / 6.0;
    }
    return 0.0;
}

double hermite(double x) {
    const double ax = std::fabs(x);
    return ax < 1 ? 2 * ax * ax * ax - 3 * x * x + 1 : 0.0;
}

double lanczos3(double x) {
    if (x == 0) return 1.0;
    const double ax = std::fabs(x);
    return ax < 3 ? sinc(ax) * sinc(ax / 3.0) : 0.0;
}

double mitchell(double x) {
    const double ax = std::fabs(x);
    if (ax < 1) return (7 * ax * ax * ax - 12 * x * x + 16.0 / 3.0) / 6.0;
    if (ax < 2) return (-(7.0 / 3.0) * ax * ax * ax + 12 * x * x - 20 * ax + 32.0 / 3.0) / 6.0;
    return 0.0;
}

double hanning(double x) {
    return 0.5 * (std::cos(kPi * x) + 1);
}

double catmullRom(double x) {
    const double ax = std::fabs(x);
    if (ax < 1) return (3 * ax * ax * ax - 5 * x * x + 2) / 2.0;
    if (ax < 2) return (-ax * ax * ax + 5 * x * x - 8 * ax + 4) / 2.0;
    return 0.0;
}

// Indices 7 and 11 repeat earlier kernels under a second number.
const Filter kFilters[kFilterCount] = {
    {box, 0.5},     {triangle, 1.0}, {hamming, 1.0}, {gaussian, 1.25},  {bell, 1.5},
    {bSpline, 2.0}, {hermite, 1.0},  {bSpline, 2.0}, {lanczos3, 3.0},   {mitchell, 2.0},
    {sinc, 4.0},    {hermite, 1.0},  {hanning, 1.0}, {catmullRom, 2.0},
};

} // namespace

const Filter* filterAt(int index) {
    return index >= 0 && index < kFilterCount ? &kFilters[index] : nullptr;
}

const Filter& defaultFilter() {
    return kFilters[6];
}

} // namespace img
