// What the module loader tells the MFC layer: a module has been loaded (with the count of
// application objects that existed before its load began) or is about to be unloaded. A
// module is known by one handle everywhere: its load address.
#pragma once

#include "win32/module.h"

#include <cstddef>

namespace winplat {

struct ModuleListener {
    std::size_t (*appsConstructed)();                   // a running count, read before dlopen
    bool (*attach)(HMODULE module, std::size_t before); // false: an InitInstance refused
    void (*detach)(HMODULE module);
};

void setModuleListener(const ModuleListener& listener);

// The module handle of a dlopen handle: its load address, under which its resources are
// registered and which LoadLibraryA and GetModuleHandleA give. Null when it is not loaded.
HMODULE moduleOfLoaded(void* loaded);

} // namespace winplat
