// The one memory routine of every Lua state in the process: blocks come from the process heap,
// so a state made by the host can be grown and freed by the plug-in's code and the reverse.
#pragma once

#include <cstddef>

namespace winplat {

// Requests this large or larger are refused; Lua then reports its memory error.
inline constexpr std::size_t kLuaBlockTooBig = 4294967293u;

// lua_Alloc's contract: a new size of 0 frees, a null block allocates, otherwise resizes.
void* luaHeapAlloc(void* userData, void* block, std::size_t oldSize, std::size_t newSize);

} // namespace winplat
