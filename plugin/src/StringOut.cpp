#include "StringOut.h"

#include <cstring>

namespace gallimo {

int copyStringOut(const char* text, char* buffer, int* length) {
    if (text == nullptr) text = "";
    const int n = static_cast<int>(std::strlen(text));
    if (length == nullptr) return -1;
    if (buffer == nullptr || *length <= n) {
        *length = n + 1;
        return -1;
    }
    std::memset(buffer, 0, static_cast<std::size_t>(*length));
    std::memcpy(buffer, text, static_cast<std::size_t>(n) + 1);
    return n;
}

} // namespace gallimo
