#include "ImageResources.h"
#include "Status.h"
#include "Tables.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace img {
namespace {

unsigned readU16Be(const BYTE* p) {
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

std::uint32_t readU32Be(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

} // namespace

bool CImageResourceParser::walk(const BYTE* block, unsigned length, int flags) {
    m_list->clear();
    status = kOk;
    if (block == nullptr) {
        status = kBadArgument;
        return false;
    }
    const bool filtering = (flags & 1) == 0;
    if (length <= 4) {
        status = kBadResourceData;
        return false;
    }
    unsigned position = 0;
    bool anyRead = false;
    Step last = kRead;
    while (position != length) {
        last = readOne(block, length, &position, filtering);
        if (last != kRead) break;
        anyRead = true;
    }
    if (anyRead && (last == kRead || last == kNoSignature || last == kOverrun)) return true;
    status = kBadResourceData;
    return false;
}

CImageResourceParser::Step CImageResourceParser::readOne(const BYTE* block, unsigned length,
                                                         unsigned* position, bool filtering) {
    // Positions are 64-bit so that a length near 4 GB cannot wrap them.
    std::uint64_t at = *position;
    auto left = [&](std::uint64_t n) { return at + n <= length; };
    while (at + 4 < length && std::memcmp(block + at, "8BIM", 4) != 0)
        ++at;
    if (at + 4 >= length) {
        *position = static_cast<unsigned>(at);
        return kNoSignature;
    }
    const std::uint64_t start = at;
    at += 4;
    if (!left(2)) return kTruncatedHeader;
    const int id = static_cast<int>(readU16Be(block + at));
    at += 2;
    if (!left(1)) return kTruncatedHeader;
    std::string name;
    const unsigned nameLength = block[at];
    if (nameLength == 0) {
        at += 2;
    } else {
        // The length byte and the name together take an even count.
        const unsigned count = nameLength + ((nameLength & 1) == 0 ? 1 : 0);
        ++at;
        if (!left(count)) return kTruncatedHeader;
        name.assign(reinterpret_cast<const char*>(block + at), count);
        at += count;
    }
    if (!left(4)) return kTruncatedHeader;
    std::uint64_t dataLength = readU32Be(block + at);
    dataLength += dataLength & 1;
    at += 4;
    if (at + dataLength > length) {
        trace(kTraceWarning, "Found bad IPTC data resource (len exceeds block end). ID=%d\n", id);
        return kOverrun;
    }
    const bool wanted = !filtering || wantedIds.empty() ||
                        std::find(wantedIds.begin(), wantedIds.end(), id) != wantedIds.end();
    if (wanted) {
        auto record = std::unique_ptr<CImageResource>(new (std::nothrow) CImageResource);
        const std::uint64_t bytes = at + dataLength - start;
        bool kept = false;
        if (record != nullptr && record->block.ensure(static_cast<int>(bytes)) != nullptr) {
            record->id = id;
            record->dataOffset = static_cast<int>(at - start);
            copyBytes(record->block.data(), block + start, bytes);
            try {
                record->name = std::move(name);
                m_list->push_back(std::move(record));
                kept = true;
            } catch (const std::bad_alloc&) {
            }
        }
        if (!kept) status = kNoMemory;
    }
    *position = static_cast<unsigned>(at + dataLength);
    return kRead;
}

const CImageResource* CImageResourceParser::find(int id) {
    status = kOk;
    for (const auto& record : *m_list)
        if (record->id == (id & 0xFFFF)) return record.get();
    status = kBadArgument;
    return nullptr;
}

} // namespace img
