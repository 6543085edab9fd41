// LoadLibraryA, GetProcAddress and FreeLibrary over dlopen, with a count per module so that
// the application objects start once and stop once.
#include "Modules.h"
#include "win32/kernel.h"
#include "win32/resources.h"
#include "winplat/paths.h"
#include "winplat/resources.h"

#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// What LoadLibraryA opened, by module handle: dlopen's own handle and the count of loads.
struct Loaded {
    void* library;
    int count;
};

std::mutex g_lock;
std::unordered_map<HMODULE, Loaded>& loaded() {
    static auto* m = new std::unordered_map<HMODULE, Loaded>;
    return *m;
}
winplat::ModuleListener g_listener{};

// A module that LoadLibraryA did not load (the program, or a library it links) is looked up
// by the file that holds its load address; the result carries a reference for dlclose.
void* openByAddress(HMODULE module) {
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fbase != module) return nullptr;
    if (module == GetModuleHandleA(nullptr)) return dlopen(nullptr, RTLD_LAZY);
    return info.dli_fname != nullptr ? dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD) : nullptr;
}

} // namespace

namespace winplat {

void setModuleListener(const ModuleListener& listener) {
    g_listener = listener;
}

HMODULE moduleOfLoaded(void* library) {
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
        return nullptr;
    // The dynamic section lies in the module, so its address names the module as the address
    // of its resource table does when the table registers itself.
    return moduleOf(map->l_ld);
}

} // namespace winplat

extern "C" {

HMODULE LoadLibraryA(LPCSTR path) {
    if (path == nullptr || path[0] == '\0') {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::size_t before = g_listener.appsConstructed != nullptr ? g_listener.appsConstructed() : 0;
    void* library = dlopen(winplat::nativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    HMODULE module = winplat::moduleOfLoaded(library);
    if (module == nullptr) {
        if (library != nullptr) dlclose(library);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    bool first;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Loaded& entry = loaded().try_emplace(module, Loaded{library, 0}).first->second;
        first = ++entry.count == 1;
    }
    if (first && g_listener.attach != nullptr && !g_listener.attach(module, before)) {
        {
            std::lock_guard<std::mutex> guard(g_lock);
            loaded().erase(module);
        }
        dlclose(library);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return module;
}

BOOL FreeLibrary(HMODULE module) {
    bool last;
    void* library;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = loaded().find(module);
        if (it == loaded().end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        library = it->second.library;
        last = --it->second.count == 0;
        if (last) loaded().erase(it);
    }
    if (last && g_listener.detach != nullptr) g_listener.detach(module);
    dlclose(library);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* library = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = loaded().find(module);
        if (it != loaded().end()) library = it->second.library;
    }
    void* opened = library == nullptr ? openByAddress(module) : nullptr;
    void* symbol = library != nullptr || opened != nullptr
                       ? dlsym(library != nullptr ? library : opened, name)
                       : nullptr;
    if (opened != nullptr) dlclose(opened);
    if (symbol == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

} // extern "C"
