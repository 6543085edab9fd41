// The library's trace lines (level 1 information, 2 warning, 3 error). The routine discards
// them; a test may install a sink to see what would have been said.
#pragma once

namespace img {

enum TraceLevel { kTraceInfo = 1, kTraceWarning = 2, kTraceError = 3 };

void trace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

using TraceSink = void (*)(int level, const char* text);
TraceSink setTraceSink(TraceSink sink);

} // namespace img
