// File attributes, searches and times over POSIX, and the runtime's path and string helpers.
#include "win32/files.h"
#include "win32/kernel.h"
#include "winplat/paths.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kEpochDifference = 116444736000000000ull;

FILETIME toFileTime(const timespec& t) {
    const std::uint64_t v = kEpochDifference + static_cast<std::uint64_t>(t.tv_sec) * 10000000ull +
                            static_cast<std::uint64_t>(t.tv_nsec) / 100;
    return {static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

std::uint64_t fromFileTime(const FILETIME& f) {
    return static_cast<std::uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
}

DWORD attributesOf(const struct stat& info, const std::string& path) {
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (access(path.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool fill(const std::string& path, const std::string& name, WIN32_FIND_DATAA* found) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    *found = {};
    found->dwFileAttributes = attributesOf(info, path);
    found->ftCreationTime = toFileTime(info.st_ctim);
    found->ftLastAccessTime = toFileTime(info.st_atim);
    found->ftLastWriteTime = toFileTime(info.st_mtim);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    found->nFileSizeLow = static_cast<DWORD>(size);
    std::snprintf(found->cFileName, sizeof found->cFileName, "%s", name.c_str());
    return true;
}

struct Search {
    std::string folder;
    std::vector<std::string> names;
    std::size_t next = 0;
};

} // namespace

extern "C" {

DWORD GetFileAttributesA(LPCSTR path) {
    const std::string native = winplat::nativePath(path);
    struct stat info {};
    if (native.empty() || stat(native.c_str(), &info) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributesOf(info, native);
}

int _access(const char* path, int mode) {
    const std::string native = winplat::nativePath(path);
    if (native.empty()) return -1;
    int how = F_OK;
    if (mode & 2) how |= W_OK;
    if (mode & 4) how |= R_OK;
    return access(native.c_str(), how) == 0 ? 0 : -1;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
    const std::string native = winplat::nativePath(pattern);
    const std::size_t slash = native.rfind('/');
    auto* search = new Search;
    search->folder = slash == std::string::npos ? "" : native.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos) {
        if (!name.empty()) search->names.push_back(name);
    } else if (DIR* dir = opendir(search->folder.empty() ? "." : search->folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (fnmatch(name.c_str(), entry->d_name, 0) == 0)
                search->names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    if (FindNextFileA(search, found)) return search;
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* found) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
    auto* search = static_cast<Search*>(handle);
    while (search->next < search->names.size()) {
        const std::string& name = search->names[search->next++];
        if (fill(search->folder + name, name, found)) return TRUE;
    }
    return FALSE;
}

BOOL FindClose(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
    delete static_cast<Search*>(handle);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
    if (utc == nullptr || local == nullptr) return FALSE;
    const std::uint64_t v = fromFileTime(*utc);
    if (v < kEpochDifference) return FALSE;
    const time_t seconds = static_cast<time_t>((v - kEpochDifference) / 10000000ull);
    struct tm parts {};
    if (localtime_r(&seconds, &parts) == nullptr) return FALSE;
    const std::uint64_t shifted = v + static_cast<std::int64_t>(parts.tm_gmtoff) * 10000000ll;
    *local = {static_cast<DWORD>(shifted), static_cast<DWORD>(shifted >> 32)};
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system) {
    if (time == nullptr || system == nullptr) return FALSE;
    const std::uint64_t v = fromFileTime(*time);
    if (v < kEpochDifference) return FALSE;
    const std::uint64_t since1970 = v - kEpochDifference;
    const time_t seconds = static_cast<time_t>(since1970 / 10000000ull);
    struct tm parts {};
    if (gmtime_r(&seconds, &parts) == nullptr) return FALSE;
    system->wYear = static_cast<WORD>(parts.tm_year + 1900);
    system->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    system->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    system->wDay = static_cast<WORD>(parts.tm_mday);
    system->wHour = static_cast<WORD>(parts.tm_hour);
    system->wMinute = static_cast<WORD>(parts.tm_min);
    system->wSecond = static_cast<WORD>(parts.tm_sec);
    system->wMilliseconds = static_cast<WORD>(since1970 / 10000 % 1000);
    return TRUE;
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
    std::string p = path != nullptr ? path : "";
    std::string d, folder, name, extension;
    if (p.size() >= 2 && p[1] == ':') {
        d = p.substr(0, 2);
        p = p.substr(2);
    }
    const std::size_t slash = p.find_last_of("\\/");
    if (slash != std::string::npos) {
        folder = p.substr(0, slash + 1);
        p = p.substr(slash + 1);
    }
    const std::size_t dot = p.rfind('.');
    name = dot == std::string::npos ? p : p.substr(0, dot);
    extension = dot == std::string::npos ? "" : p.substr(dot);
    auto put = [](char* out, const std::string& s, std::size_t size) {
        if (out != nullptr) std::snprintf(out, size, "%s", s.c_str());
    };
    put(drive, d, _MAX_DRIVE);
    put(dir, folder, _MAX_DIR);
    put(fname, name, _MAX_FNAME);
    put(ext, extension, _MAX_EXT);
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
    for (;; ++a, ++b) {
        const int ca = std::tolower(*a), cb = std::tolower(*b);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
    const int r = std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
    return (r > 0) - (r < 0);
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
    const int r = _mbsicmp(reinterpret_cast<const unsigned char*>(a != nullptr ? a : ""),
                           reinterpret_cast<const unsigned char*>(b != nullptr ? b : ""));
    return (r > 0) - (r < 0);
}

int lstrlenA(LPCSTR s) {
    return s != nullptr ? static_cast<int>(std::strlen(s)) : 0;
}

LPSTR lstrcpyA(LPSTR destination, LPCSTR source) {
    return std::strcpy(destination, source);
}

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int length) {
    if (length <= 0) return destination;
    std::snprintf(destination, static_cast<std::size_t>(length), "%s", source);
    return destination;
}

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, 1025, format, args);
    va_end(args);
    return n < 0 ? 0 : (n > 1024 ? 1024 : n);
}

} // extern "C"
