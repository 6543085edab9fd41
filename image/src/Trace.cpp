#include "Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace img {
namespace {
std::atomic<TraceSink> g_sink{nullptr};
} // namespace

void trace(int level, const char* format, ...) {
    TraceSink sink = g_sink.load();
    if (sink == nullptr) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink(level, text);
}

TraceSink setTraceSink(TraceSink sink) {
    return g_sink.exchange(sink);
}

} // namespace img
