#pragma once

#include <cstddef>

namespace gallimo {

// Copies the zero-terminated text resource into the buffer when it fits with its zero;
// the buffer is cleared first, so on false it holds the empty text.
bool LoadTextResource(const char* type, int id, char* buffer, std::size_t length);

} // namespace gallimo
