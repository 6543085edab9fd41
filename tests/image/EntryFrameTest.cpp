#include "EntryFrame.h"
#include "CDibConverter.h"
#include "LeakCheck.h"
#include "TestFiles.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace img;
using testing_support::Bytes;
using testing_support::TempFile;

namespace {

// An operation that records whether it ran, as a reader record would.
struct ProbeOp : Operation {
    explicit ProbeOp(CImgIO& io) : io(io) {}
    CImgIO& io;
};

int runProbe(SourceHandle src, bool args, int status, bool* ran) {
    return frameR<ProbeOp>(src, args, [&](ProbeOp& op) {
        *ran = true;
        op.status = status;
        return status == 0 ? 7 : 0;
    });
}

} // namespace

TEST(EntryFrame, ReaderFrameChecksHandleArgumentsAndValidity) {
    testing_support::LeakCheck leaks;
    TempFile file(Bytes{1, 2, 3});
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    bool ran = false;

    EXPECT_EQ(runProbe(nullptr, true, 0, &ran), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(runProbe(src, false, 0, &ran), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_FALSE(ran);

    EXPECT_EQ(runProbe(src, true, 3, &ran), 0);
    EXPECT_TRUE(ran);
    EXPECT_EQ(getLastError(), 3);
    EXPECT_EQ(runProbe(src, true, 0, &ran), 7);
    EXPECT_EQ(getLastError(), 0) << "success clears what an earlier call left";

    SourceRecord stale = *static_cast<SourceRecord*>(src);
    closeSource(src);
    stale.magic1 = stale.magic2 = 0;
    ran = false;
    EXPECT_EQ(runProbe(&stale, true, 0, &ran), 0);
    EXPECT_EQ(getLastError(), 38);
    EXPECT_FALSE(ran);
}

TEST(EntryFrame, DibWidthAndHeightQueries) {
    BYTE dib[40] = {};
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = 17;
    h.biHeight = -9;
    std::memcpy(dib, &h, sizeof h);
    int out = 123;
    EXPECT_EQ(getDIBWidth(dib, &out), 1);
    EXPECT_EQ(out, 17);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(getDIBHeight(dib, &out), 1);
    EXPECT_EQ(out, -9) << "sign included";

    h.biSize = 124;
    std::memcpy(dib, &h, sizeof h);
    out = 123;
    EXPECT_EQ(getDIBWidth(dib, &out), 0);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getDIBHeight(nullptr, &out), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getDIBHeight(dib, nullptr), 0);
}
