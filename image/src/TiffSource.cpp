// libtiff over the library's stream: the client procedures, the message handlers, and opening
// and closing one page.
#include "TiffReader.h"

#include "BlockBudget.h"
#include "CheckedSize.h"
#include "Trace.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>

namespace img {
namespace {

CImgIO& streamOf(thandle_t client) {
    return static_cast<TiffSource*>(client)->stream;
}

tmsize_t readProc(thandle_t client, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    const auto n = static_cast<unsigned>(std::min<tmsize_t>(size, UINT_MAX));
    return static_cast<tmsize_t>(streamOf(client).read(buffer, n));
}

tmsize_t writeProc(thandle_t client, void* buffer, tmsize_t size) {
    if (size <= 0 || size > UINT_MAX) return 0;
    return streamOf(client).write(buffer, 1, static_cast<unsigned>(size)) ? size : 0;
}

toff_t seekProc(thandle_t client, toff_t offset, int whence) {
    CImgIO& io = streamOf(client);
    const int origin = whence == SEEK_CUR || whence == SEEK_END ? whence : SEEK_SET;
    // Offsets past what a long holds cannot name a place in the file.
    if (origin == SEEK_SET && offset > static_cast<toff_t>(LONG_MAX)) return 0;
    if (!io.seek(static_cast<long>(offset), origin)) return 0;
    unsigned at = 0;
    io.position(&at);
    return at;
}

toff_t sizeProc(thandle_t client) {
    unsigned size = 0;
    return streamOf(client).size(&size) ? size : 0;
}

// The caller owns the source handle and closes it.
int closeProc(thandle_t) {
    return 0;
}

// libtiff 4.5's RGBA reader fails on uncompressed tiles unless the file is mapped, so the
// file behind the stream is mapped read-only for as long as the handle is open.
int mapProc(thandle_t client, void** base, toff_t* size) {
    std::FILE* stream = streamOf(client).record()->stream;
    struct stat info {};
    if (stream == nullptr || fstat(fileno(stream), &info) != 0 || info.st_size <= 0) return 0;
    void* mapped = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE,
                        fileno(stream), 0);
    if (mapped == MAP_FAILED) return 0;
    *base = mapped;
    *size = static_cast<toff_t>(info.st_size);
    return 1;
}

void unmapProc(thandle_t, void* base, toff_t size) {
    munmap(base, static_cast<std::size_t>(size));
}

void passOn(int level, const char* prefix, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    trace(level, "%s%s\n", prefix, text);
}

void errorHandler(const char*, const char* format, va_list args) {
    passOn(kTraceError, "LibTiff Error: ", format, args);
}

void warningHandler(const char*, const char* format, va_list args) {
    passOn(kTraceWarning, "LibTiff Warning: ", format, args);
}

void installHandlers() {
    TIFFSetErrorHandler(errorHandler);
    TIFFSetWarningHandler(warningHandler);
}

// libtiff's own handlers print to standard error; ours are in place before any call.
struct HandlersAtLoad {
    HandlersAtLoad() { installHandlers(); }
} g_handlersAtLoad;

} // namespace

TIFF* tiffClientOpen(TiffSource& source, const char* mode) {
    installTiffTagExtender();
    installHandlers();
    // libtiff sizes its own buffers from the file before the codec is known, so none may pass
    // what the file can decode to at the greatest expansion of any codec (LZW's).
    unsigned fileBytes = 0;
    source.stream.size(&fileBytes);
    const std::uint64_t most =
        std::max(greatestUnits(Encoding::TiffLzw, fileBytes), kFreeBlockBytes);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options != nullptr)
        TIFFOpenOptionsSetMaxSingleMemAlloc(
            options, static_cast<tmsize_t>(std::min<std::uint64_t>(most, kBlockLimit)));
    TIFF* tif = TIFFClientOpenExt(source.stream.record()->path, mode, &source, readProc, writeProc,
                                  seekProc, closeProc, sizeProc, mapProc, unmapProc, options);
    if (options != nullptr) TIFFOpenOptionsFree(options);
    if (tif != nullptr) source.cmykPassThrough = 0;
    return tif;
}

void closeTIFFSource(TiffSource* source) {
    if (source == nullptr) return;
    if (source->tif != nullptr) TIFFClose(source->tif);
    delete source;
}

TiffSource* TiffReader::openTIFFSource(const CImgIO& stream, int page, int flags) {
    status = kOk;
    if (!stream.isValid()) return fail(kBadArgument);
    auto* source = new (std::nothrow) TiffSource;
    if (source == nullptr) return fail(kNoMemory);
    source->flags = flags;
    source->stream = stream;
    if (!source->stream.isValid()) {
        delete source;
        return fail(kBadSource);
    }
    if (!source->stream.rewind()) {
        delete source;
        return fail(kReadFailed);
    }
    source->tif = tiffClientOpen(*source, "r");
    if (source->tif == nullptr) {
        delete source;
        return fail(kTiffStripFailed);
    }
    source->cmykPassThrough = 0;
    if (page < 0 || !TIFFSetDirectory(source->tif, static_cast<tdir_t>(page))) {
        closeTIFFSource(source);
        return fail(kBadArgument);
    }
    return source;
}

} // namespace img
