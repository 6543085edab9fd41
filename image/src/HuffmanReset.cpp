#include "HuffmanReset.h"

#include <cstring>
#include <link.h>
#include <string>

#include <jpegint.h>

namespace img {
namespace {

// The head of libjpeg-turbo 2.1.5's sequential Huffman decoder (its huff_entropy_decoder): the
// public part, the bit buffer kept between MCUs, then the DC predictions. No installed header
// declares it, so it is only trusted on the very build it was read from.
struct SequentialHuffmanHead {
    jpeg_entropy_decoder pub;
    struct {
        std::size_t getBuffer;
        int bitsLeft;
    } bitstate;
    struct {
        int lastDcVal[MAX_COMPS_IN_SCAN];
    } saved;
};

constexpr char kVersionMark[] = "libjpeg-turbo version ";

#if defined(LIBJPEG_TURBO_VERSION_NUMBER) && LIBJPEG_TURBO_VERSION_NUMBER == 2001005 &&            \
    JPEG_LIB_VERSION == 62
constexpr bool kBuiltAgainstKnownLayout = sizeof(std::size_t) == 8;
#else
constexpr bool kBuiltAgainstKnownLayout = false;
#endif

struct VersionSearch {
    const void* inside;
    std::string version;
};

// The loaded libjpeg names its own version in its read-only data; find the object that holds
// jpeg_std_error and read the text there, so that a different library at run time is noticed.
int searchObject(dl_phdr_info* object, std::size_t, void* data) {
    auto* search = static_cast<VersionSearch*>(data);
    const auto target = reinterpret_cast<ElfW(Addr)>(search->inside);
    bool holdsTarget = false;
    for (int i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = object->dlpi_phdr[i];
        const ElfW(Addr) start = object->dlpi_addr + p.p_vaddr;
        if (p.p_type == PT_LOAD && target >= start && target < start + p.p_memsz)
            holdsTarget = true;
    }
    if (!holdsTarget) return 0;
    for (int i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = object->dlpi_phdr[i];
        if (p.p_type != PT_LOAD || !(p.p_flags & PF_R) || (p.p_flags & PF_W)) continue;
        const auto* start = reinterpret_cast<const char*>(object->dlpi_addr + p.p_vaddr);
        const void* hit = memmem(start, p.p_filesz, kVersionMark, sizeof kVersionMark - 1);
        if (hit == nullptr) continue;
        const char* text = static_cast<const char*>(hit) + sizeof kVersionMark - 1;
        const char* end = start + p.p_filesz;
        const char* stop = text;
        while (stop < end && *stop != '\0' && *stop != ' ')
            ++stop;
        search->version.assign(text, stop);
        return 1;
    }
    return 1;
}

bool loadedLibraryKnown() {
    static const bool known = [] {
        VersionSearch search{reinterpret_cast<const void*>(&jpeg_std_error), {}};
        dl_iterate_phdr(searchObject, &search);
        return knownHuffmanLayout(search.version.c_str());
    }();
    return known;
}

} // namespace

bool knownHuffmanLayout(const char* libraryVersion) {
    return kBuiltAgainstKnownLayout && libraryVersion != nullptr &&
           std::strcmp(libraryVersion, "2.1.5") == 0;
}

bool huffmanDecoderReachable(j_decompress_ptr cinfo) {
    if (cinfo == nullptr || !cinfo->is_decompressor || cinfo->entropy == nullptr) return false;
    if (cinfo->global_state != DSTATE_SCANNING && cinfo->global_state != DSTATE_RAW_OK)
        return false;
    if (cinfo->progressive_mode || cinfo->arith_code) return false;
    if (cinfo->comps_in_scan < 0 || cinfo->comps_in_scan > MAX_COMPS_IN_SCAN) return false;
    return loadedLibraryKnown();
}

void resetHuffmanDecoder(j_decompress_ptr cinfo) {
    if (!huffmanDecoderReachable(cinfo)) return;
    auto* decoder = reinterpret_cast<SequentialHuffmanHead*>(cinfo->entropy);
    decoder->bitstate.bitsLeft &= ~7;
    decoder->saved.lastDcVal[0] = 0;
    for (int i = 0; i < cinfo->comps_in_scan; ++i)
        decoder->saved.lastDcVal[i] = 0;
}

} // namespace img
