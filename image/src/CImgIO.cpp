#include "CImgIO.h"

#include "winplat/paths.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace img {
namespace {

// Reads this long or longer go straight to the caller's buffer.
constexpr unsigned kReadAheadBytes = 64 * 1024;

} // namespace

const std::shared_ptr<ReadAhead>& CImgIO::shared() const {
    if (m_ahead == nullptr) m_ahead = std::make_shared<ReadAhead>();
    return m_ahead;
}

void CImgIO::settle() {
    const unsigned ahead = unread();
    if (m_ahead != nullptr) m_ahead->drop();
    if (ahead != 0) std::fseek(m_record->stream, -static_cast<long>(ahead), SEEK_CUR);
}

unsigned CImgIO::unread() const {
    const ReadAhead* a = m_ahead.get();
    return a != nullptr && a->stream == m_record->stream ? a->unread() : 0;
}

unsigned CImgIO::readThrough(void* buffer, unsigned n) {
    if (n == 0) return 0;
    std::FILE* stream = m_record->stream;
    ReadAhead& a = *shared();
    if (a.stream != stream) {
        a.drop();
        a.stream = stream;
    }
    auto* out = static_cast<BYTE*>(buffer);
    const unsigned held = a.unread();
    if (held != 0) std::memcpy(out, a.bytes.get() + a.at, held);
    a.drop();
    unsigned done = held;
    if (n - done >= kReadAheadBytes)
        return done + static_cast<unsigned>(std::fread(out + done, 1, n - done, stream));
    if (a.bytes == nullptr) a.bytes.reset(new BYTE[kReadAheadBytes]);
    a.end = static_cast<unsigned>(std::fread(a.bytes.get(), 1, kReadAheadBytes, stream));
    const unsigned take = std::min(n - done, a.end);
    std::memcpy(out + done, a.bytes.get(), take);
    a.at = take;
    return done + take;
}

CImgIO& CImgIO::assign(const CImgIO& other) {
    m_record = other.m_record;
    m_ahead = other.shared();
    return *this;
}

bool CImgIO::isValid() const {
    const SourceRecord* r = m_record;
    if (r == nullptr) return false;
    if (IsBadReadPtr(r, sizeof *r) || IsBadWritePtr(const_cast<SourceRecord*>(r), sizeof *r))
        return false;
    return r->kind == kSourceFileByName && r->magic1 == kSourceMagic1 &&
           r->magic2 == kSourceMagic2 && r->stream != nullptr;
}

// The stream first goes back to the caller's position, so that a seek that fails leaves it
// there, as it would without the read-ahead.
bool CImgIO::seek(long offset, int origin) {
    const unsigned ahead = unread();
    // A step back or forward within what was read ahead needs no call.
    if (origin == SEEK_CUR && ahead != 0 && offset >= -static_cast<long>(m_ahead->at) &&
        offset <= static_cast<long>(ahead)) {
        m_ahead->at = static_cast<unsigned>(static_cast<long>(m_ahead->at) + offset);
        return true;
    }
    settle();
    return std::fseek(m_record->stream, offset, origin) == 0;
}

bool CImgIO::position(unsigned* out) const {
    off_t at = ftello(m_record->stream) - static_cast<off_t>(unread());
    *out = static_cast<unsigned>(static_cast<std::uint64_t>(at) & 0xFFFFFFFFu);
    return true;
}

bool CImgIO::size(unsigned* out) const {
    struct stat info {};
    if (fstat(fileno(m_record->stream), &info) != 0) info.st_size = 0;
    *out = static_cast<unsigned>(static_cast<std::uint64_t>(info.st_size) & 0xFFFFFFFFu);
    return true;
}

// Sources are opened read-only, so nothing can be written through one.
bool CImgIO::write(const void*, unsigned, unsigned) {
    return false;
}

bool CImgIO::close() {
    bool closed = false;
    if (m_ahead != nullptr) m_ahead->drop();
    if (m_record->stream != nullptr) {
        closed = std::fclose(m_record->stream) == 0;
        m_record->stream = nullptr;
    }
    m_record->magic1 = 0;
    m_record->magic2 = 0;
    return closed;
}

bool CImgIO::openByName(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    std::FILE* stream = std::fopen(winplat::nativePath(path).c_str(), "rb");
    if (stream == nullptr) return false;
    // A folder opens for reading here but has no bytes to give: it is a file that cannot be
    // opened.
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        return false;
    }
    SourceRecord* r = m_record;
    r->stream = stream;
    r->kind = kSourceFileByName;
    r->win32File = nullptr;
    r->writable = 0;
    r->secondFlag = 0;
    std::strncpy(r->path, path, kSourcePathChars);
    r->path[kSourcePathChars] = '\0';
    r->magic1 = kSourceMagic1;
    r->magic2 = kSourceMagic2;
    return true;
}

} // namespace img
