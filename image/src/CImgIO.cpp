#include "CImgIO.h"

#include "winplat/paths.h"

#include <cstring>
#include <sys/stat.h>

namespace img {

CImgIO& CImgIO::assign(const CImgIO& other) {
    m_record = other.m_record;
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

unsigned CImgIO::read(void* buffer, unsigned n) {
    if (n == 0) return 0;
    return static_cast<unsigned>(std::fread(buffer, 1, n, m_record->stream));
}

bool CImgIO::seek(long offset, int origin) {
    return std::fseek(m_record->stream, offset, origin) == 0;
}

bool CImgIO::position(unsigned* out) const {
    off_t at = ftello(m_record->stream);
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
