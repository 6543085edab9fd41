// Windows-style paths reach the file system unchanged: both separators are accepted.
#pragma once

#include <string>

namespace winplat {

// The path with every backslash turned into the native separator.
std::string nativePath(const char* path);

} // namespace winplat
