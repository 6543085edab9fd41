// libjpeg's error exit and message output, and its data source over CImgIO. Every decompressor
// the library makes gets both, so libjpeg never prints and never returns from a fatal error.
#pragma once

#include "CImgIO.h"

#include <cstdio>
#include <functional>
#include <jpeglib.h>

namespace img {

// jpeg_std_error with the exit replaced by a throw of ImgCore::ImgException (the formatted
// message, code 0) and the message output sent to the trace routine instead of standard error.
jpeg_error_mgr* installJpegErrors(jpeg_error_mgr* errors);

// The data source over `stream`, made once per decompressor in its permanent pool. With
// `giveBack`, bytes read ahead but never used go back to the stream when decoding finishes, so
// that it stands right behind the image.
void installJpegSource(j_decompress_ptr cinfo, CImgIO* stream, bool giveBack);

// Hands `visit` the bytes libjpeg has yet to take, its buffer's and then the stream's to the
// end, a piece at a time until `visit` returns false. libjpeg's position and the stream's stay
// where they were.
void visitBytesAhead(j_decompress_ptr cinfo,
                     const std::function<bool(const JOCTET* bytes, std::size_t count)>& visit);

} // namespace img
