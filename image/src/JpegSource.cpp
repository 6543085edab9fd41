#include "JpegSource.h"

#include "ImgException.h"
#include "Trace.h"

#include <jerror.h>

namespace img {
namespace {

constexpr std::size_t kInputBufferBytes = 4096;

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    trace(kTraceError, "%s\n", text);
    ImgCore::ImgException failure(text);
    throw failure;
}

void outputMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    trace(kTraceWarning, "%s\n", text);
}

struct StreamSource {
    jpeg_source_mgr pub;
    CImgIO* stream;
    bool giveBack;
    JOCTET* buffer;
    bool startOfFile;
};

StreamSource* sourceOf(j_decompress_ptr cinfo) {
    return reinterpret_cast<StreamSource*>(cinfo->src);
}

void initSource(j_decompress_ptr cinfo) {
    sourceOf(cinfo)->startOfFile = true;
}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    StreamSource* src = sourceOf(cinfo);
    std::size_t count = src->stream->read(src->buffer, kInputBufferBytes);
    if (count == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A file that stops early still decodes: libjpeg sees an end marker and fills the
        // rest of the image itself.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        count = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = count;
    src->startOfFile = false;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    StreamSource* src = sourceOf(cinfo);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        fillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void termSource(j_decompress_ptr cinfo) {
    StreamSource* src = sourceOf(cinfo);
    if (src->giveBack && src->pub.bytes_in_buffer > 0)
        src->stream->seek(-static_cast<long>(src->pub.bytes_in_buffer), SEEK_CUR);
}

} // namespace

jpeg_error_mgr* installJpegErrors(jpeg_error_mgr* errors) {
    jpeg_std_error(errors);
    errors->error_exit = errorExit;
    errors->output_message = outputMessage;
    return errors;
}

void installJpegSource(j_decompress_ptr cinfo, CImgIO* stream, bool giveBack) {
    if (cinfo->src == nullptr) {
        auto* src = static_cast<StreamSource*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamSource)));
        src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kInputBufferBytes));
        cinfo->src = &src->pub;
    }
    StreamSource* src = sourceOf(cinfo);
    src->stream = stream;
    src->giveBack = giveBack;
    src->pub.init_source = initSource;
    src->pub.fill_input_buffer = fillInputBuffer;
    src->pub.skip_input_data = skipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = termSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
}

void visitBytesAhead(j_decompress_ptr cinfo,
                     const std::function<bool(const JOCTET* bytes, std::size_t count)>& visit) {
    StreamSource* src = sourceOf(cinfo);
    if (src->pub.bytes_in_buffer > 0 && !visit(src->pub.next_input_byte, src->pub.bytes_in_buffer))
        return;
    unsigned at = 0;
    src->stream->position(&at);
    JOCTET piece[kInputBufferBytes];
    for (;;) {
        const unsigned count = src->stream->read(piece, sizeof piece);
        if (count == 0 || !visit(piece, count)) break;
    }
    src->stream->seek(static_cast<long>(at), SEEK_SET);
}

} // namespace img
