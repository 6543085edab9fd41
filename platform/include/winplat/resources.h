// How a module's embedded resources reach FindResourceA: the generated table of each module
// registers itself, under the module's load address, when the module is loaded.
#pragma once

#include "win32/types.h"

#include <cstddef>

namespace winplat {

struct ResourceEntry {
    const char* type; // a name, or "#n" for an integer type
    const char* name; // a name, or "#n" for an integer identifier
    const BYTE* data;
    std::size_t size;
};

// The load address of the module that holds `address`; modules are known by it.
HMODULE moduleOf(const void* address);

void registerResources(HMODULE module, const ResourceEntry* entries, std::size_t count);
void unregisterResources(HMODULE module);

} // namespace winplat
