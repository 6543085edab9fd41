// LoadLibraryA, GetProcAddress and FreeLibrary over dlopen, with a count per module so that
// the application objects start once and stop once.
#include "Modules.h"
#include "win32/kernel.h"
#include "winplat/paths.h"

#include <dlfcn.h>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace {

std::mutex g_lock;
std::unordered_map<void*, int>& loadCounts() {
    static auto* m = new std::unordered_map<void*, int>;
    return *m;
}
winplat::ModuleListener g_listener{};

} // namespace

namespace winplat {

void setModuleListener(const ModuleListener& listener) {
    g_listener = listener;
}

} // namespace winplat

extern "C" {

HMODULE LoadLibraryA(LPCSTR path) {
    if (path == nullptr || path[0] == '\0') {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::size_t before = g_listener.appsConstructed != nullptr ? g_listener.appsConstructed() : 0;
    void* handle = dlopen(winplat::nativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    bool first;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        first = ++loadCounts()[handle] == 1;
    }
    if (first && g_listener.attach != nullptr && !g_listener.attach(handle, before)) {
        {
            std::lock_guard<std::mutex> guard(g_lock);
            loadCounts().erase(handle);
        }
        dlclose(handle);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return handle;
}

BOOL FreeLibrary(HMODULE module) {
    bool last;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = loadCounts().find(module);
        if (it == loadCounts().end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        last = --it->second == 0;
        if (last) loadCounts().erase(it);
    }
    if (last && g_listener.detach != nullptr) g_listener.detach(module);
    dlclose(module);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

} // extern "C"
