#include "CFileInfo.h"

#include <cstring>

void CFileInfo::Query(const char* path, int queryTag) {
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    const char* slash = std::strrchr(path, '\\');
    CString folder;
    if (slash != nullptr) folder = CString(path).Left(static_cast<int>(slash - path) + 1);
    Fill(entry, folder, queryTag);
    FindClose(search);
}

void CFileInfo::Fill(const WIN32_FIND_DATAA& entry, const CString& folder, int fillTag) {
    tag = fillTag;
    fullName = folder + entry.cFileName;
    attributes = entry.dwFileAttributes;
    size = static_cast<unsigned long long>(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow;
    FileTimeToTime(entry.ftCreationTime, &creationTime);
    FileTimeToTime(entry.ftLastAccessTime, &lastAccessTime);
    FileTimeToTime(entry.ftLastWriteTime, &lastWriteTime);
}

CString CFileInfo::GetFileTitle() const {
    char name[_MAX_FNAME];
    _splitpath(fullName, nullptr, nullptr, name, nullptr);
    return CString(name);
}

CString CFileInfo::GetFileExt() const {
    char ext[_MAX_EXT];
    _splitpath(fullName, nullptr, nullptr, nullptr, ext);
    return CString(ext);
}

CString CFileInfo::GetFileName() const {
    return GetFileTitle() + GetFileExt();
}

void CFileInfo::FileTimeToTime(const FILETIME& time, std::time_t* out) {
    *out = std::time(nullptr);
    FILETIME local{};
    SYSTEMTIME s{};
    if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &s)) return;
    std::tm parts{};
    parts.tm_sec = s.wSecond;
    parts.tm_min = s.wMinute;
    parts.tm_hour = s.wHour;
    parts.tm_mday = s.wDay >= 1 && s.wDay <= 31 ? s.wDay : 1;
    parts.tm_mon = (s.wMonth < 1 ? 1 : s.wMonth > 12 ? 12 : s.wMonth) - 1;
    parts.tm_year = (s.wYear < 1900 ? 1900 : s.wYear > 2037 ? 2037 : s.wYear) - 1900;
    parts.tm_isdst = -1;
    const std::time_t t = std::mktime(&parts);
    if (t != static_cast<std::time_t>(-1)) *out = t;
}
