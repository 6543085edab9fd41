// What the stand-in counts, for tests that prove nothing leaks, and the switches that let a
// test reach the failure paths of its callers.
#pragma once

#include <cstddef>

extern "C" {

// Live global-memory blocks and process-heap blocks.
std::size_t winplatLiveGlobalBlocks();
std::size_t winplatLiveHeapBlocks();

// Live windows, the desktop not counted, and live image lists.
std::size_t winplatLiveWindows();
std::size_t winplatLiveImageLists();

// Makes the n-th GlobalAlloc/GlobalReAlloc from now on fail (1 = the next one); 0 disarms.
void winplatFailGlobalAllocAt(unsigned n);

// Frees the block kept for reuse, so that the next large global block comes fresh from malloc.
void winplatDropKeptBlock();

} // extern "C"
