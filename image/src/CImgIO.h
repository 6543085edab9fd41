// The one stream through which every reader reads: a cheap per-call view of an I/O source
// record, which lives in global memory between openFileSource and closeSource.
#pragma once

#include "win32/win32.h"

#include <cstdio>
#include <cstring>
#include <memory>

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

// Bytes read ahead of a view and its copies, so that readers taking a few bytes at a time do not
// pay stdio's locking and copying for each. A seek or a position accounts for what was read
// ahead, and settle() gives it back to the stream. The views never touch the record when they
// go, since a caller may close the source before its own view is gone.
struct ReadAhead {
    std::FILE* stream = nullptr; // the stream the bytes came from
    std::unique_ptr<BYTE[]> bytes;
    unsigned at = 0;
    unsigned end = 0;

    unsigned unread() const { return end - at; }
    void drop() { at = end = 0; }
};

class CImgIO {
public:
    explicit CImgIO(SourceRecord* record) : m_record(record) {}
    CImgIO(const CImgIO& other) : m_record(other.m_record), m_ahead(other.shared()) {}
    // The self-contained form carries its own cleared record.
    CImgIO() : m_own{}, m_record(&m_own) {}
    virtual ~CImgIO() = default;

    virtual CImgIO& assign(const CImgIO& other);
    CImgIO& operator=(const CImgIO& other) { return assign(other); }

    bool isValid() const;
    unsigned read(void* buffer, unsigned n) {
        ReadAhead* a = m_ahead.get();
        if (a != nullptr && n <= a->unread() && a->stream == m_record->stream) {
            std::memcpy(buffer, a->bytes.get() + a->at, n);
            a->at += n;
            return n;
        }
        return readThrough(buffer, n);
    }
    bool readExact(void* buffer, unsigned n) { return read(buffer, n) == n; }
    bool seek(long offset, int origin);
    bool rewind() { return seek(0, SEEK_SET); }
    bool position(unsigned* out) const;
    bool size(unsigned* out) const;
    bool atEnd() const { return false; }
    bool write(const void* buffer, unsigned elementSize, unsigned count);
    // Moves the stream back to just after the last byte handed out, for whoever reaches it
    // next without this view or its copies; every entry point does so when it is done.
    void settle();
    bool close();
    bool openByName(const char* path);

    SourceRecord* record() const { return m_record; }

private:
    unsigned readThrough(void* buffer, unsigned n);
    // The read-ahead this view shares with its copies, made on first need.
    const std::shared_ptr<ReadAhead>& shared() const;
    // Bytes read ahead of the caller's position in the stream.
    unsigned unread() const;

    SourceRecord m_own{};
    SourceRecord* m_record;
    mutable std::shared_ptr<ReadAhead> m_ahead;
};

} // namespace img
