#include "VectorUnits.h"

#include <atomic>

namespace img {
namespace {

std::atomic<bool> g_allowed{true};

bool processorHasThem() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

} // namespace

bool vectorUnitsAvailable() {
    return g_allowed.load(std::memory_order_relaxed) && processorHasThem();
}

void allowVectorUnits(bool allowed) {
    g_allowed.store(allowed, std::memory_order_relaxed);
}

} // namespace img
