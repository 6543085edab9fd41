// Resource lookup over the tables that each module registers when it is loaded.
#include "win32/resources.h"
#include "Modules.h"
#include "winplat/resources.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace winplat {
namespace {

struct Registry {
    std::mutex lock;
    std::map<HMODULE, std::vector<ResourceEntry>> modules;
};

Registry& registry() {
    static Registry* r = new Registry; // outlives every module's unload-time unregistering
    return *r;
}

// Integer names are kept as "#n"; text names compare without case, as Windows does.
std::string key(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<UINT_PTR>(name));
    std::string k = name;
    for (char& c : k)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return k;
}

} // namespace

HMODULE moduleOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

void registerResources(HMODULE module, const ResourceEntry* entries, std::size_t count) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.modules[module].assign(entries, entries + count);
}

void unregisterResources(HMODULE module) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.modules.erase(module);
}

} // namespace winplat

extern "C" {

HMODULE GetModuleHandleA(LPCSTR name) {
    void* library =
        name != nullptr ? dlopen(name, RTLD_LAZY | RTLD_NOLOAD) : dlopen(nullptr, RTLD_LAZY);
    if (library == nullptr) return nullptr;
    HMODULE module = winplat::moduleOfLoaded(library);
    dlclose(library);
    return module;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    if (path == nullptr || size == 0) return 0;
    std::string name;
    Dl_info info{};
    if (module != nullptr && module != GetModuleHandleA(nullptr) && dladdr(module, &info) != 0 &&
        info.dli_fname != nullptr) {
        name = info.dli_fname;
    } else {
        char buffer[PATH_MAX] = {};
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0) name.assign(buffer, static_cast<std::size_t>(n));
    }
    std::snprintf(path, size, "%s", name.c_str());
    return static_cast<DWORD>(std::strlen(path));
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (name == nullptr || type == nullptr) return nullptr;
    if (module == nullptr) module = GetModuleHandleA(nullptr);
    winplat::Registry& r = winplat::registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.modules.find(module);
    if (found == r.modules.end()) return nullptr;
    const std::string wantedName = winplat::key(name), wantedType = winplat::key(type);
    for (const winplat::ResourceEntry& e : found->second) {
        if (winplat::key(e.name) == wantedName && winplat::key(e.type) == wantedType)
            return const_cast<winplat::ResourceEntry*>(&e);
    }
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return resource != nullptr
               ? const_cast<BYTE*>(static_cast<const winplat::ResourceEntry*>(resource)->data)
               : nullptr;
}

LPVOID LockResource(HGLOBAL loaded) {
    return loaded;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource != nullptr
               ? static_cast<DWORD>(static_cast<const winplat::ResourceEntry*>(resource)->size)
               : 0;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE;
}

} // extern "C"
