#include "TextResource.h"

#include "mfc/mfc.h"
#include "win32/win32.h"

#include <cstring>

namespace gallimo {

bool LoadTextResource(const char* type, int id, char* buffer, std::size_t length) {
    if (buffer == nullptr || length == 0) return false;
    std::memset(buffer, 0, length);
    HMODULE self = AfxGetResourceHandle();
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(self, found);
    const auto* text = static_cast<const char*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (text == nullptr) return false;
    const std::size_t n = strnlen(text, SizeofResource(self, found));
    if (n >= length) return false;
    std::memcpy(buffer, text, n);
    return true;
}

} // namespace gallimo
