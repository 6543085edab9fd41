// What the directory says of one file: its full name, attributes, size and times.
#pragma once

#include "mfc/mfc.h"
#include "win32/win32.h"

#include <ctime>

class CFileInfo {
public:
    void Query(const char* path, int tag);
    void Fill(const WIN32_FIND_DATAA& entry, const CString& folder, int tag);
    CString GetFileTitle() const;
    CString GetFileExt() const;
    CString GetFileName() const;
    static void FileTimeToTime(const FILETIME& time, std::time_t* out);

    int tag = 0;
    CString fullName;
    DWORD attributes = 0xFFFFFFFFu;
    unsigned long long size = 0;
    std::time_t creationTime = 0;
    std::time_t lastAccessTime = 0;
    std::time_t lastWriteTime = 0;
};
