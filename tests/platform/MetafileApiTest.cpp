#include "GdiCheck.h"
#include "MetafileCanvas.h"
#include "MetafileWriter.h"
#include "TestFiles.h"
#include "winplat/screen.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace metafile_test;
using testing_support::EmfWriter;
using testing_support::GdiLeakCheckedTest;
using testing_support::TempFile;
using testing_support::WmfWriter;

namespace {

class MetafileApi : public GdiLeakCheckedTest {};

Bytes someEmf() {
    EmfWriter w;
    w.brush(1, BS_SOLID, kRed).select(1).rectangle(10, 10, 50, 30);
    return w.bytes();
}

Bytes someWmf() {
    WmfWriter w;
    w.window(0, 0, 100, 50).brush(BS_SOLID, kRed).select(0).rectangle(10, 10, 50, 30);
    return w.bytes();
}

} // namespace

TEST_F(MetafileApi, EachKindOfFileOpensOnlyAsItsOwnKind) {
    struct Case {
        const char* name;
        Bytes contents;
        bool enhanced, oldStyle;
    };
    const Case cases[] = {
        {"enhanced", someEmf(), true, false},
        {"old-style", someWmf(), false, true},
        {"placeable", WmfWriter().rectangle(0, 0, 9, 9).placeable(0, 0, 10, 10, 1440), false,
         false},
        {"neither", Bytes(200, 0x41), false, false},
        {"empty", Bytes(), false, false},
    };
    for (const Case& c : cases) {
        TempFile file(c.contents);
        HENHMETAFILE e = GetEnhMetaFileA(file.path().c_str());
        HMETAFILE m = GetMetaFileA(file.path().c_str());
        EXPECT_EQ(e != nullptr, c.enhanced) << c.name;
        EXPECT_EQ(m != nullptr, c.oldStyle) << c.name;
        EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_METAFILES), (e ? 1u : 0u) + (m ? 1u : 0u));
        if (e != nullptr) {
            EXPECT_TRUE(DeleteEnhMetaFile(e));
        }
        if (m != nullptr) {
            EXPECT_TRUE(DeleteMetaFile(m));
        }
    }
    EXPECT_EQ(GetEnhMetaFileA("/no/such/file.emf"), nullptr);
    EXPECT_EQ(GetMetaFileA(nullptr), nullptr);
    EXPECT_EQ(GetEnhMetaFileA(""), nullptr);
}

TEST_F(MetafileApi, OldStyleBitsComeBackWhole) {
    const Bytes wmf = someWmf();
    TempFile file(wmf);
    HMETAFILE m = GetMetaFileA(file.path().c_str());
    ASSERT_NE(m, nullptr);
    const UINT size = GetMetaFileBitsEx(m, 0, nullptr);
    EXPECT_EQ(size, wmf.size());
    Bytes copy(size + 4, 0xEE);
    EXPECT_EQ(GetMetaFileBitsEx(m, size - 1, copy.data()), 0u) << "too small a buffer";
    EXPECT_EQ(copy[0], 0xEE);
    EXPECT_EQ(GetMetaFileBitsEx(m, size + 4, copy.data()), size);
    EXPECT_TRUE(std::equal(wmf.begin(), wmf.end(), copy.begin()));
    EXPECT_EQ(copy[size], 0xEE);
    EXPECT_TRUE(DeleteMetaFile(m));
    EXPECT_FALSE(DeleteMetaFile(m)) << "deleted once only";
}

TEST_F(MetafileApi, ConvertedOldStyleBitsRecordTheExtentsAndTheReferenceDevice) {
    const Bytes wmf = someWmf();
    struct Case {
        const char* name;
        bool picture;
        LONG x, y;
        RECT frame;
    };
    // The screen: 1024 x 768 pixels, HORZSIZE 271 and VERTSIZE 203 millimetres.
    const Case cases[] = {
        {"extents", true, 2540, 1270, {0, 0, 2540, 1270}},
        {"no extents", true, 0, 1270, {0, 0, 27100, 20300}},
        {"negative extents", true, -2540, -1270, {0, 0, 27100, 20300}},
        {"no picture", false, 0, 0, {0, 0, 27100, 20300}},
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        const METAFILEPICT picture{MM_ANISOTROPIC, c.x, c.y, nullptr};
        HENHMETAFILE h = SetWinMetaFileBits(static_cast<UINT>(wmf.size()), wmf.data(), screen,
                                            c.picture ? &picture : nullptr);
        ASSERT_NE(h, nullptr) << c.name;
        ENHMETAHEADER header{};
        EXPECT_EQ(GetEnhMetaFileHeader(h, sizeof header, &header), sizeof header);
        EXPECT_EQ(header.iType, 1u);
        EXPECT_EQ(header.dSignature, ENHMETA_SIGNATURE);
        EXPECT_EQ(header.rclFrame.left, c.frame.left) << c.name;
        EXPECT_EQ(header.rclFrame.right, c.frame.right) << c.name;
        EXPECT_EQ(header.rclFrame.bottom, c.frame.bottom) << c.name;
        EXPECT_EQ(header.szlDevice.cx, GetDeviceCaps(screen, HORZRES));
        EXPECT_EQ(header.szlDevice.cy, GetDeviceCaps(screen, VERTRES));
        EXPECT_EQ(header.szlMillimeters.cx, GetDeviceCaps(screen, HORZSIZE));
        EXPECT_EQ(header.szlMillimeters.cy, GetDeviceCaps(screen, VERTSIZE));
        EXPECT_EQ(header.szlMillimeters.cx, 271);
        EXPECT_EQ(header.szlMillimeters.cy, 203);
        DeleteEnhMetaFile(h);
    }
    ReleaseDC(nullptr, screen);

    const Bytes emf = someEmf();
    const METAFILEPICT picture{MM_ANISOTROPIC, 100, 100, nullptr};
    EXPECT_EQ(SetWinMetaFileBits(static_cast<UINT>(wmf.size()), nullptr, nullptr, &picture),
              nullptr);
    EXPECT_EQ(SetWinMetaFileBits(10, wmf.data(), nullptr, &picture), nullptr) << "short";
    EXPECT_EQ(SetWinMetaFileBits(static_cast<UINT>(emf.size()), emf.data(), nullptr, &picture),
              nullptr)
        << "enhanced bits";
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    EXPECT_EQ(SetWinMetaFileBits(static_cast<UINT>(wmf.size()), wmf.data(), gone, &picture),
              nullptr)
        << "a reference DC that is no more";
}

TEST_F(MetafileApi, TheHeaderIsCopiedNoFurtherThanAsked) {
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(someEmf().size()), someEmf().data());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 0, nullptr), sizeof(ENHMETAHEADER));
    BYTE buffer[sizeof(ENHMETAHEADER) + 4];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 100, reinterpret_cast<ENHMETAHEADER*>(buffer)), 100u);
    for (std::size_t i = 100; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 0xAB) << i;
    ENHMETAHEADER header;
    std::memcpy(&header, buffer, 100);
    EXPECT_EQ(header.szlDevice.cx, 1000);
    EXPECT_EQ(header.szlMillimeters.cx, 100);
    EXPECT_EQ(header.rclFrame.right, 1000);
    DeleteEnhMetaFile(h);

    // A header of the first version holds 88 bytes: nothing after them is made up.
    Bytes old = someEmf();
    old[4] = 88;
    old.erase(old.begin() + 88, old.begin() + 108);
    h = SetEnhMetaFileBits(static_cast<UINT>(old.size()), old.data());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 0, nullptr), 88u);
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 100, reinterpret_cast<ENHMETAHEADER*>(buffer)), 88u);
    EXPECT_EQ(buffer[88], 0xAB);
    DeleteEnhMetaFile(h);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 100, &header), 0u) << "deleted";
}

TEST_F(MetafileApi, MetafileHandlesAreTheirOwnKindOfObject) {
    HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(someEmf().size()), someEmf().data());
    TempFile file(someWmf());
    HMETAFILE m = GetMetaFileA(file.path().c_str());
    EXPECT_EQ(GetObjectType(e), static_cast<DWORD>(OBJ_ENHMETAFILE));
    EXPECT_EQ(GetObjectType(m), static_cast<DWORD>(OBJ_METAFILE));
    EXPECT_FALSE(DeleteObject(e));
    EXPECT_FALSE(DeleteEnhMetaFile(reinterpret_cast<HENHMETAFILE>(m)));
    EXPECT_FALSE(DeleteMetaFile(reinterpret_cast<HMETAFILE>(e)));
    EXPECT_EQ(GetMetaFileBitsEx(reinterpret_cast<HMETAFILE>(e), 0, nullptr), 0u);
    Canvas canvas(4, 4);
    const RECT r{0, 0, 4, 4};
    EXPECT_FALSE(PlayEnhMetaFile(canvas.dc(), reinterpret_cast<HENHMETAFILE>(m), &r));
    EXPECT_FALSE(PlayEnhMetaFile(canvas.dc(), e, nullptr));
    EXPECT_FALSE(PlayEnhMetaFile(nullptr, e, &r));
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_METAFILES), 2u);
    EXPECT_TRUE(DeleteEnhMetaFile(e));
    EXPECT_TRUE(DeleteMetaFile(m));
}

TEST_F(MetafileApi, PlayingLeavesTheTargetDCAsItWas) {
    Canvas canvas(20, 10);
    HDC dc = canvas.dc();
    HPEN pen = CreatePen(PS_SOLID, 1, kBlue);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    SetBkColor(dc, kGreen);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kBlue);
    SetTextAlign(dc, TA_BASELINE);
    const int unclipped = SaveDC(dc);
    IntersectClipRect(dc, 0, 0, 15, 8);
    HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);

    EmfWriter w;
    w.brush(1, BS_SOLID, kRed).select(1).pen(2, PS_SOLID, 3, kWhite).select(2);
    w.record(testing_support::kEmfSetBkColor, {static_cast<std::int32_t>(kRed)});
    w.record(testing_support::kEmfSetBkMode, {OPAQUE});
    w.record(testing_support::kEmfSetTextAlign, {TA_RIGHT});
    w.record(testing_support::kEmfIntersectClipRect, {0, 0, 100, 50});
    w.textOutW(10, 10, "x");
    w.rectangle(0, 0, 100, 100);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));

    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetBkColor(dc), kGreen);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(GetTextColor(dc), kBlue);
    EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_BASELINE));
    RECT clip{};
    GetClipBox(dc, &clip);
    EXPECT_EQ(clip.right, 15);
    EXPECT_EQ(clip.bottom, 8);
    RestoreDC(dc, unclipped);
    EXPECT_EQ(canvas.at(14, 7), kRed);
    EXPECT_EQ(canvas.at(16, 1), 0u) << "the caller's clip held while playing";
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}
