// Collects the library's trace lines for as long as it lives.
#pragma once

#include "Trace.h"

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class TraceCapture {
public:
    using Line = std::pair<int, std::string>;

    TraceCapture() : m_previous(img::setTraceSink(collect)) { lines().clear(); }
    ~TraceCapture() { img::setTraceSink(m_previous); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    static std::vector<Line>& lines() {
        static std::vector<Line> collected;
        return collected;
    }

private:
    static void collect(int level, const char* text) { lines().emplace_back(level, text); }
    img::TraceSink m_previous;
};

} // namespace testing_support
