// The image resources of a layered-image file: a run of "8BIM" blocks, each with an ID, a
// padded name and padded data, split into records that can be found by ID.
#pragma once

#include "MemoryBlock.h"

#include <memory>
#include <string>
#include <vector>

namespace img {

// Status of a walk over resource data that cannot be made sense of.
inline constexpr int kBadResourceData = 67;

struct CImageResource {
    int id = 0;
    // Offset of the resource data from the start of `block`.
    int dataOffset = -1;
    // The whole resource, from its signature to the end of its padded data.
    ScratchBuffer<BYTE> block;
    std::string name;

    const BYTE* data() const { return block.data() + dataOffset; }
    int dataSize() const { return block.count() - dataOffset; }
};

using ImageResourceList = std::vector<std::unique_ptr<CImageResource>>;

class CImageResourceParser {
public:
    explicit CImageResourceParser(ImageResourceList* list) : m_list(list) {}

    // Splits the block into the list (only the wanted IDs unless flags bit 0 is set); false
    // when no resource could be read.
    bool walk(const BYTE* block, unsigned length, int flags);
    // The first record with that ID, or null (status 5).
    const CImageResource* find(int id);

    std::vector<int> wantedIds; // empty: every ID
    int status = 0;

private:
    enum Step { kRead = 0, kNoSignature = 1, kTruncatedHeader = 2, kOverrun = 3 };
    Step readOne(const BYTE* block, unsigned length, unsigned* position, bool filtering);

    ImageResourceList* m_list;
};

} // namespace img
