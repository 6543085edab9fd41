#include "ImageResources.h"
#include "PsdWriter.h"
#include "Trace.h"

#include <gtest/gtest.h>
#include <string>

using namespace img;
using testing_support::Bytes;
using testing_support::psdResource;

namespace {

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Walked {
    bool result;
    int status;
    ImageResourceList list;
};

Walked walk(const Bytes& block, std::vector<int> wanted = {}, int flags = 0) {
    Walked w;
    CImageResourceParser parser(&w.list);
    parser.wantedIds = std::move(wanted);
    w.result = parser.walk(block.data(), static_cast<unsigned>(block.size()), flags);
    w.status = parser.status;
    return w;
}

TEST(ImageResources, SplitsBlocksWithPaddedNamesAndData) {
    const Bytes block =
        joined({psdResource(1028, "AB", Bytes(15, 7)), psdResource(1005, "", Bytes{1, 2, 3, 4})});
    Walked w = walk(block);
    ASSERT_TRUE(w.result);
    EXPECT_EQ(w.status, 0);
    ASSERT_EQ(w.list.size(), 2u);
    const CImageResource& first = *w.list[0];
    EXPECT_EQ(first.id, 1028);
    EXPECT_EQ(first.name, std::string("AB\0", 3)) << "the pad byte belongs to the name";
    EXPECT_EQ(first.dataOffset, 4 + 2 + 4 + 4) << "an even name takes 4 bytes with its length";
    EXPECT_EQ(first.dataSize(), 16) << "a data length of 15 is read as 16";
    EXPECT_EQ(first.block.count(), 14 + 16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.block.data()), 4), "8BIM");
    const CImageResource& second = *w.list[1];
    EXPECT_EQ(second.dataOffset, 4 + 2 + 2 + 4) << "an empty name takes 2 bytes";
    EXPECT_EQ(Bytes(second.data(), second.data() + 4), (Bytes{1, 2, 3, 4}));
}

TEST(ImageResources, WalkOutcomes) {
    const Bytes one = psdResource(1005, "", Bytes(16, 1));
    Bytes overrun = psdResource(1010, "", Bytes(8, 2));
    overrun[11] = 40; // data length past the end of the block
    struct Case {
        const char* name;
        Bytes block;
        bool result;
        int status;
        std::size_t kept;
    } cases[] = {
        {"junk before the first signature", joined({Bytes{9, 9, 9}, one}), true, 0, 1},
        {"second resource overruns the end", joined({one, overrun}), true, 0, 1},
        {"trailing bytes without a signature", joined({one, Bytes{1, 2, 3, 4, 5}}), true, 0, 1},
        {"signature and ID only", Bytes{'8', 'B', 'I', 'M', 3, 0xED}, false, 67, 0},
        {"four bytes", Bytes{'8', 'B', 'I', 'M'}, false, 67, 0},
        {"no signature at all", Bytes(20, 'x'), false, 67, 0},
        {"first resource overruns", overrun, false, 67, 0},
    };
    for (const Case& c : cases) {
        Walked w = walk(c.block);
        EXPECT_EQ(w.result, c.result) << c.name;
        EXPECT_EQ(w.status, c.status) << c.name;
        EXPECT_EQ(w.list.size(), c.kept) << c.name;
    }
}

TEST(ImageResources, WantedIdsFilterUnlessFlagBitZero) {
    const Bytes block = joined({psdResource(1028, "", Bytes(4, 0)), psdResource(1005, "", {})});
    Walked filtered = walk(block, {1005});
    ASSERT_EQ(filtered.list.size(), 1u);
    EXPECT_EQ(filtered.list[0]->id, 1005);
    EXPECT_EQ(walk(block, {1005}, 1).list.size(), 2u);

    CImageResourceParser parser(&filtered.list);
    EXPECT_NE(parser.find(1005), nullptr);
    EXPECT_EQ(parser.status, 0);
    EXPECT_EQ(parser.find(1028), nullptr);
    EXPECT_EQ(parser.status, 5);
}

TEST(ImageResources, NullBlockAndOverrunTrace) {
    ImageResourceList list;
    CImageResourceParser parser(&list);
    EXPECT_FALSE(parser.walk(nullptr, 100, 0));
    EXPECT_EQ(parser.status, 5);

    static std::string said;
    said.clear();
    TraceSink previous = setTraceSink([](int, const char* text) { said += text; });
    Bytes overrun = psdResource(1010, "", Bytes(8, 2));
    overrun[11] = 40;
    walk(overrun);
    setTraceSink(previous);
    EXPECT_EQ(said, "Found bad IPTC data resource (len exceeds block end). ID=1010\n");
}

} // namespace
