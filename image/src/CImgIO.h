// The one stream through which every reader reads: a cheap per-call view of an I/O source
// record, which lives in global memory between openFileSource and closeSource.
#pragma once

#include "win32/win32.h"

#include <cstdio>

namespace img {

inline constexpr std::uint32_t kSourceMagic1 = 0x07475590;
inline constexpr std::uint32_t kSourceMagic2 = 0x12345678;
inline constexpr int kSourceFileByName = 1;
inline constexpr std::size_t kSourcePathChars = 260;

struct SourceRecord {
    std::uint32_t magic1;
    std::uint32_t reserved;
    std::FILE* stream;
    HANDLE win32File;
    std::int32_t kind;
    std::uint32_t memoryBase, memorySize, memoryPosition, memoryHighWater;
    char path[kSourcePathChars + 1];
    BYTE writable;
    BYTE secondFlag;
    void* callbacks[8];
    std::uint32_t magic2;
};

class CImgIO {
public:
    explicit CImgIO(SourceRecord* record) : m_record(record) {}
    CImgIO(const CImgIO& other) : m_record(other.m_record) {}
    // The self-contained form carries its own cleared record.
    CImgIO() : m_own{}, m_record(&m_own) {}
    virtual ~CImgIO() = default;

    virtual CImgIO& assign(const CImgIO& other);
    CImgIO& operator=(const CImgIO& other) { return assign(other); }

    bool isValid() const;
    unsigned read(void* buffer, unsigned n);
    bool readExact(void* buffer, unsigned n) { return read(buffer, n) == n; }
    bool seek(long offset, int origin);
    bool rewind() { return seek(0, SEEK_SET); }
    bool position(unsigned* out) const;
    bool size(unsigned* out) const;
    bool atEnd() const { return false; }
    bool write(const void* buffer, unsigned elementSize, unsigned count);
    bool close();
    bool openByName(const char* path);

    SourceRecord* record() const { return m_record; }

private:
    SourceRecord m_own{};
    SourceRecord* m_record;
};

} // namespace img
