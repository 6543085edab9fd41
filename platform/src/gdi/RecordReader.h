// Little-endian fields of one metafile record, read only within the record: a field past its
// end reads as zero and marks the reader, so a decoder checks ok() once before it acts.
#pragma once

#include "gdi/Spans.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace winplat::gdi::meta {

class RecordReader {
public:
    RecordReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t size() const { return m_size; }
    bool ok() const { return m_ok; }
    bool has(std::uint64_t offset, std::uint64_t bytes) const {
        return offset <= m_size && bytes <= m_size - offset;
    }
    const BYTE* at(std::size_t offset) const { return m_data + offset; }

    std::uint32_t u32(std::size_t offset) { return value<std::uint32_t>(offset); }
    std::int32_t i32(std::size_t offset) { return value<std::int32_t>(offset); }
    std::uint16_t u16(std::size_t offset) { return value<std::uint16_t>(offset); }
    std::int16_t i16(std::size_t offset) { return value<std::int16_t>(offset); }
    std::uint8_t u8(std::size_t offset) { return value<std::uint8_t>(offset); }
    float f32(std::size_t offset) { return value<float>(offset); }

    // `count` points of two 32-bit or two 16-bit coordinates from `offset`; false (and the
    // reader marked) when they do not all lie within the record.
    bool points32(std::size_t offset, std::uint64_t count, std::vector<PointF>& out) {
        return points(offset, count, 8, out);
    }
    bool points16(std::size_t offset, std::uint64_t count, std::vector<PointF>& out) {
        return points(offset, count, 4, out);
    }

private:
    template <class T> T value(std::size_t offset) {
        T v{};
        if (!has(offset, sizeof(T))) {
            m_ok = false;
            return v;
        }
        std::memcpy(&v, m_data + offset, sizeof(T));
        return v;
    }

    bool points(std::size_t offset, std::uint64_t count, std::size_t each,
                std::vector<PointF>& out) {
        out.clear();
        if (count > m_size || !has(offset, count * each)) {
            m_ok = false;
            return false;
        }
        out.reserve(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = offset + i * each;
            if (each == 8)
                out.push_back({static_cast<double>(i32(at)), static_cast<double>(i32(at + 4))});
            else
                out.push_back({static_cast<double>(i16(at)), static_cast<double>(i16(at + 2))});
        }
        return true;
    }

    const BYTE* m_data;
    std::size_t m_size;
    bool m_ok = true;
};

} // namespace winplat::gdi::meta
