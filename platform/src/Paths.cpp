#include "winplat/paths.h"

namespace winplat {

std::string nativePath(const char* path) {
    std::string native = path != nullptr ? path : "";
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

} // namespace winplat
