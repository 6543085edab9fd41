// Status codes of the library's operations, as they reach the caller through getLastError,
// and the base every operation object starts with.
#pragma once

#include <type_traits>

namespace img {

enum Status : int {
    kOk = 0,
    kNoMemory = 1,
    kCannotOpen = 2,
    kReadFailed = 3,
    kBadArgument = 5,
    kBadHeader = 6,
    kCompressionMismatch = 7,
    kJpegFailed = 9,
    kNoDeviceContext = 10,
    kBadGifData = 12,
    kPngFailed = 15,
    kPngStructures = 16,
    kUnsupportedOptions = 17,
    kTiffStripFailed = 20,
    kBadPcxHeader = 22,
    kNoCompatibleBitmap = 23,
    kAllRowsRead = 24,
    kGetDIBitsFailed = 25,
    kMissingRasterCaps = 26,
    kMetafileConversion = 27,
    kUnsupportedDepth = 28,
    kBitBltFailed = 29,
    kUnsupportedTga = 32,
    kNoDeviceBitmap = 35,
    kSelectFailed = 37,
    kBadSource = 38,
    kMetafileRefused = 41,
    kNotPsd = 46,
    kBadPsdMode = 47,
    kBadWbmpHeader = 53,
    kNoThreadRecord = 55,
    kBelowFilterSupport = 68,
};

// What a failing worker returns: converts to 0, false or null, whatever the worker returns.
struct Failure {
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T> || std::is_pointer_v<T>>>
    constexpr operator T() const {
        return T{};
    }
};

// The first field of every operation object is its status; a worker that fails sets it once,
// where the reason is known, and callers pass it up.
struct Operation {
    int status = kOk;

    Failure fail(int code) {
        status = code;
        return {};
    }
    bool ok() const { return status == kOk; }
};

} // namespace img
