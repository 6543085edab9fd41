// What the C heap did during a call: the largest single request and the most bytes live at
// once beyond what was live before it. A fill byte given to the watch is written into every
// fresh block, so output that reads memory nobody wrote changes with it. The program's malloc
// is its own only without the address sanitizer; under it the watch measures nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace testing_support {

struct HeapFigures {
    std::uint64_t largestRequest = 0;
    std::uint64_t peakLiveBytes = 0;
};

// Whether the figures and the fill mean anything in this build.
bool heapWatchAvailable();

// Runs `call` with the heap watched; `fillByte` (0 to 255) fills fresh blocks, -1 leaves them.
// The global-memory block the stand-in keeps for reuse is dropped first, so the call's large
// blocks come fresh too.
HeapFigures watchHeap(const std::function<void()>& call, int fillByte = -1);

// The results of `call` run twice, fresh blocks filled first with 0x55, then with 0xAA: output
// that reads no memory nobody wrote is the same in both.
template <class Call> auto underTwoFills(Call&& call) {
    decltype(call()) first{}, second{};
    watchHeap([&] { first = call(); }, 0x55);
    watchHeap([&] { second = call(); }, 0xAA);
    return std::make_pair(std::move(first), std::move(second));
}

} // namespace testing_support
