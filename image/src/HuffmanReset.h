// A reset of libjpeg's sequential Huffman decoder in the middle of a scan, for codecs whose
// strips start on a byte boundary with fresh DC predictions but carry no restart markers.
#pragma once

#include <cstdio>
#include <jpeglib.h>

namespace img {

// Drops the held bits down to a whole byte and zeroes the DC prediction of every component of
// the current scan (the first one always). A decompressor this cannot safely reach (another
// libjpeg build, not decoding a scan, a progressive or arithmetic-coded scan) is left alone.
void resetHuffmanDecoder(j_decompress_ptr cinfo);

// Whether resetHuffmanDecoder would act on this decompressor.
bool huffmanDecoderReachable(j_decompress_ptr cinfo);

// Whether a libjpeg identifying itself by this text lays out its decoder as we expect.
bool knownHuffmanLayout(const char* libraryVersion);

} // namespace img
