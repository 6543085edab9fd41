#include "JpegWriter.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>
#include <vector>

namespace testing_support {
namespace {

[[noreturn]] void raise(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    throw std::runtime_error(text);
}
void quiet(j_common_ptr) {}

jpeg_error_mgr* throwingErrors(jpeg_error_mgr* errors) {
    jpeg_std_error(errors);
    errors->error_exit = raise;
    errors->output_message = quiet;
    return errors;
}

J_COLOR_SPACE inputSpaceOf(int components) {
    switch (components) {
    case 1:
        return JCS_GRAYSCALE;
    case 4:
        return JCS_CMYK;
    default:
        return JCS_RGB;
    }
}

} // namespace

Bytes encodeJpeg(const JpegSpec& layout) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors;
    c.err = throwingErrors(&errors);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Bytes out;
    try {
        jpeg_create_compress(&c);
        jpeg_mem_dest(&c, &buffer, &size);
        c.image_width = static_cast<JDIMENSION>(layout.width);
        c.image_height = static_cast<JDIMENSION>(layout.height);
        c.input_components = layout.components;
        c.in_color_space = inputSpaceOf(layout.components);
        jpeg_set_defaults(&c);
        if (layout.storedSpace != 0) jpeg_set_colorspace(&c, J_COLOR_SPACE(layout.storedSpace));
        jpeg_set_quality(&c, layout.quality, TRUE);
        if (layout.fullChroma)
            for (int i = 0; i < c.num_components; ++i)
                c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
        for (std::size_t i = 0; 2 * i + 1 < layout.sampling.size(); ++i) {
            c.comp_info[i].h_samp_factor = layout.sampling[2 * i];
            c.comp_info[i].v_samp_factor = layout.sampling[2 * i + 1];
        }
        if (layout.progressive) jpeg_simple_progression(&c);
        std::vector<jpeg_scan_info> script;
        for (const JpegScan& scan : layout.scans) {
            jpeg_scan_info s{};
            s.comps_in_scan = static_cast<int>(scan.components.size());
            for (int i = 0; i < s.comps_in_scan; ++i)
                s.component_index[i] = scan.components[i];
            s.Ss = scan.ss;
            s.Se = scan.se;
            s.Ah = scan.ah;
            s.Al = scan.al;
            script.push_back(s);
        }
        if (!script.empty()) {
            c.scan_info = script.data();
            c.num_scans = static_cast<int>(script.size());
        }
        c.arith_code = layout.arithmetic ? TRUE : FALSE;
        c.restart_in_rows = layout.restartRows;
        c.write_JFIF_header = layout.jfif ? TRUE : FALSE;
        c.density_unit = static_cast<UINT8>(layout.densityUnit);
        c.X_density = static_cast<UINT16>(layout.xDensity);
        c.Y_density = static_cast<UINT16>(layout.yDensity);
        jpeg_start_compress(&c, TRUE);
        Bytes pixels = layout.pixels;
        const std::size_t rowBytes = std::size_t(layout.width) * layout.components;
        pixels.resize(rowBytes * layout.height);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = pixels.data() + c.next_scanline * rowBytes;
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        out.assign(buffer, buffer + size);
    } catch (...) {
        jpeg_destroy_compress(&c);
        std::free(buffer);
        throw;
    }
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

Bytes claimingSize(Bytes file, int width, int height) {
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        // Any start-of-frame marker but the Huffman-table (C4), arithmetic-conditioning (CC)
        // and JPG-extension (C8) markers that share its range.
        const std::uint8_t m = file[i + 1];
        if (file[i] != 0xFF || m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC)
            continue;
        // Marker, length, precision, then height and width, both big-endian.
        file[i + 5] = static_cast<std::uint8_t>(height >> 8);
        file[i + 6] = static_cast<std::uint8_t>(height);
        file[i + 7] = static_cast<std::uint8_t>(width >> 8);
        file[i + 8] = static_cast<std::uint8_t>(width);
        return file;
    }
    throw std::runtime_error("no frame header");
}

Bytes beforeEnd(Bytes file, const Bytes& segment) {
    file.insert(file.end() - 2, segment.begin(), segment.end());
    return file;
}

Bytes emptyScan(const std::vector<int>& componentIds, int ss, int se, int ah, int al) {
    const auto n = static_cast<std::uint8_t>(componentIds.size());
    Bytes b = {0xFF, 0xDA, 0, static_cast<std::uint8_t>(6 + 2 * n), n};
    for (int id : componentIds)
        b.insert(b.end(), {static_cast<std::uint8_t>(id), 0x00});
    b.insert(b.end(), {static_cast<std::uint8_t>(ss), static_cast<std::uint8_t>(se),
                       static_cast<std::uint8_t>(ah << 4 | al)});
    return b;
}

Bytes commentSegment(std::size_t bytes) {
    return markerSegment(0xFE, bytes);
}

Bytes markerSegment(std::uint8_t marker, std::size_t bytes) {
    const std::size_t length = bytes - 2;
    Bytes b = {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length)};
    b.resize(bytes, 'c');
    return b;
}

Bytes beforeScan(Bytes file, int scan, const Bytes& segment) {
    // Segments are passed by their lengths, and scan data up to its first marker that is neither
    // stuffing nor a restart, so that no byte inside either is taken for a scan header.
    const auto endsData = [&](std::size_t i) {
        const std::uint8_t next = file[i + 1];
        return file[i] == 0xFF && next != 0x00 && (next < 0xD0 || next > 0xD7);
    };
    std::size_t i = 2;
    while (i + 3 < file.size() && file[i] == 0xFF && file[i + 1] != 0xD9) {
        const std::uint8_t marker = file[i + 1];
        if (marker == 0xDA && scan-- == 0) {
            file.insert(file.begin() + static_cast<std::ptrdiff_t>(i), segment.begin(),
                        segment.end());
            return file;
        }
        i += 2 + (std::size_t(file[i + 2]) << 8 | file[i + 3]);
        if (marker == 0xDA)
            while (i + 1 < file.size() && !endsData(i))
                ++i;
    }
    throw std::runtime_error("no such scan");
}

Bytes decodeJpeg(const Bytes& file, int* width, int* height, int* components, int outputSpace) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr errors;
    c.err = throwingErrors(&errors);
    Bytes out;
    try {
        jpeg_create_decompress(&c);
        // Damaged files may claim a huge multi-scan image; a reference need not hold one.
        c.mem->max_memory_to_use = 512L << 20;
        jpeg_mem_src(&c, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&c, TRUE);
        if (outputSpace != 0) c.out_color_space = J_COLOR_SPACE(outputSpace);
        jpeg_start_decompress(&c);
        *width = static_cast<int>(c.output_width);
        *height = static_cast<int>(c.output_height);
        *components = c.output_components;
        const std::size_t rowBytes = std::size_t(c.output_width) * c.output_components;
        out.resize(rowBytes * c.output_height);
        while (c.output_scanline < c.output_height) {
            JSAMPROW row = out.data() + c.output_scanline * rowBytes;
            jpeg_read_scanlines(&c, &row, 1);
        }
        jpeg_finish_decompress(&c);
    } catch (const std::exception&) {
        out.clear();
    }
    jpeg_destroy_decompress(&c);
    return out;
}

Bytes texturedPixels(int width, int height, int components) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int i = 0; i < components; ++i)
                pixels.push_back(static_cast<std::uint8_t>((x * 7 + y * 13 + i * 61) ^ (x * y)));
    return pixels;
}

} // namespace testing_support
