// Records whose lengths, counts and offsets lie: each is played in a sanitizer build too, so a
// read past a record shows up there.
#include "GdiCheck.h"
#include "MetafileCanvas.h"
#include "MetafileWriter.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

using namespace metafile_test;
using namespace testing_support;

namespace {

class MetafileHostile : public GdiLeakCheckedTest {};

constexpr std::int32_t kHuge = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kTiny = std::numeric_limits<std::int32_t>::min();

// A red block drawn after the hostile record shows that playing went on past it.
EmfWriter& redBlock(EmfWriter& w) {
    return w.brush(60, BS_SOLID, kRed).select(60).rectangle(0, 0, 100, 50);
}

// Any slots the case took are freed first, so that the brush goes to slot 0.
WmfWriter& redBlock(WmfWriter& w) {
    for (int slot = 0; slot < 16; ++slot)
        w.record(kWmfDeleteObject, {slot});
    return w.record(kWmfSetWindowOrg, {0, 0})
        .record(kWmfSetWindowExt, {50, 100})
        .brush(BS_SOLID, kRed)
        .select(0)
        .rectangle(0, 0, 100, 50);
}

Bytes stretchWithDib(std::int32_t infoAt, std::int32_t infoBytes, std::int32_t bitsAt,
                     std::int32_t bitsBytes, std::int32_t width, std::int32_t height) {
    Bytes body(72 + 40 + 12, 0);
    const std::int32_t fields[] = {0,      0,         0,      0,         2,      2,
                                   infoAt, infoBytes, bitsAt, bitsBytes, 0,      0xCC0020,
                                   10,     10,        40,     width,     height, 0x00180001};
    std::memcpy(body.data() + 16, fields, sizeof fields);
    return body;
}

} // namespace

TEST_F(MetafileHostile, EnhancedRecordsThatLieAreSkipped) {
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> write;
    };
    const Case cases[] = {
        {"polygon count past the record",
         [](EmfWriter& w) {
             w.record(kEmfPolygon16, {0, 0, 0, 0, kHuge, 0x00010001});
         }},
        {"polyline count of 2^32 - 1",
         [](EmfWriter& w) {
             w.record(kEmfPolyline16, {0, 0, 0, 0, -1, 0x00010001});
         }},
        {"poly-polygon parts past the record",
         [](EmfWriter& w) {
             w.record(kEmfPolyPolygon16, {0, 0, 0, 0, -1, 3, 3});
         }},
        {"poly-polygon counts that do not add up",
         [](EmfWriter& w) {
             w.record(kEmfPolyPolygon16, {0, 0, 0, 0, 2, 3, 2, 2, 1, 1, 1});
         }},
        {"poly-polygon counts that overflow",
         [](EmfWriter& w) {
             w.record(kEmfPolyPolygon16, {0, 0, 0, 0, 2, 2, -1, 3, 1, 1, 1});
         }},
        {"text past the record",
         [](EmfWriter& w) {
             w.record(kEmfExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 5, 5, kHuge, 76, 0, 0, 0, 0, 0, 0});
         }},
        {"text offset past the record",
         [](EmfWriter& w) {
             w.record(kEmfExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 5, 5, 2, kHuge, 0, 0, 0, 0, 0, 0});
         }},
        {"advances past the record",
         [](EmfWriter& w) {
             w.record(kEmfExtTextOutW,
                      {0, 0, 0, 0, 1, 0, 0, 5, 5, 2, 76, 0, 0, 0, 0, 0, kHuge - 3, 0x00480048});
         }},
        {"short text record",
         [](EmfWriter& w) {
             w.record(kEmfExtTextOutW, {0, 0, 0});
         }},
        {"bitmap header past the record",
         [](EmfWriter& w) { w.raw(kEmfStretchDIBits, stretchWithDib(kHuge, 40, 80, 12, 2, 2)); }},
        {"bitmap rows past the record",
         [](EmfWriter& w) { w.raw(kEmfStretchDIBits, stretchWithDib(80, 40, 120, 4000, 2, 2)); }},
        {"bitmap rows shorter than the header says",
         [](EmfWriter& w) { w.raw(kEmfStretchDIBits, stretchWithDib(80, 40, 120, 4, 100, 100)); }},
        {"bitmap of absurd size",
         [](EmfWriter& w) {
             w.raw(kEmfStretchDIBits, stretchWithDib(80, 40, 120, 4, kHuge, kTiny + 1));
         }},
        {"short font record",
         [](EmfWriter& w) {
             w.record(kEmfExtCreateFontIndirectW, {3, 12});
         }},
        {"object index past any table",
         [](EmfWriter& w) {
             w.brush(0x7FFFFFF0, BS_SOLID, kGreen).select(0x7FFFFFF0);
             w.record(kEmfDeleteObject, {kHuge}).record(kEmfSelectObject, {0x12345});
             w.record(kEmfSelectObject, {static_cast<std::int32_t>(kEmfStock | 0x7FFF)});
         }},
        {"restoring levels never saved",
         [](EmfWriter& w) {
             w.record(kEmfRestoreDC, {-1000}).record(kEmfRestoreDC, {1000});
             w.record(kEmfRestoreDC, {kTiny});
         }},
        {"extents of zero and NaN transforms",
         [](EmfWriter& w) {
             w.record(kEmfSetMapMode, {MM_ANISOTROPIC}).record(kEmfSetWindowExt, {0, 0});
             const std::int32_t nan = 0x7FC00000;
             w.record(kEmfSetWorldTransform, {nan, 0, 0, nan, nan, nan});
             w.record(kEmfSetMapMode, {MM_TEXT});
         }},
        {"clip region past the record",
         [](EmfWriter& w) {
             w.record(kEmfExtSelectClipRgn, {kHuge, 1, 32, 1, 1, 0});
         }},
        {"coordinates at the ends of the range",
         [](EmfWriter& w) {
             w.pen(1, PS_SOLID, kHuge, kGreen).select(1);
             w.rectangle(kTiny, kTiny, kHuge, kHuge).record(kEmfEllipse, {kTiny, 0, kHuge, 1});
             w.record(kEmfArc, {kTiny, kTiny, kHuge, kHuge, 0, 0, 0, 0});
             w.record(kEmfMoveTo, {kTiny, kTiny}).record(kEmfLineTo, {kHuge, kHuge});
             w.record(kEmfDeleteObject, {1});
             w.record(kEmfSelectObject, {static_cast<std::int32_t>(kEmfStock | BLACK_PEN)});
         }},
        {"alpha blend with its bitmap past the record",
         [](EmfWriter& w) {
             w.record(kEmfAlphaBlend, {0, 0, 0, 0, 0, 0, 10,    10, 0x01FF0000, 0, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, kHuge, 40, 148,        4, 1, 1});
         }},
        {"alpha blend from outside its bitmap",
         [](EmfWriter& w) {
             w.record(kEmfAlphaBlend,
                      {0, 0,  0, 0, 0,          0, 10, 10,  0x01FF0000, 5,   kHuge, 0,
                       0, 0,  0, 0, 0,          0, 0,  108, 40,         148, 4,     1,
                       1, 40, 1, 1, 0x00200001, 0, 4,  0,   0,          0,   0,     -1});
         }},
        {"alpha blend of absurd size",
         [](EmfWriter& w) {
             w.record(kEmfAlphaBlend,
                      {0, 0,          0,  0,   kTiny, kTiny, kHuge, kHuge, 0x01FF0000,
                       0, 0,          0,  0,   0,     0,     0,     0,     0,
                       0, 108,        40, 148, 4,     1,     1,     40,    1,
                       1, 0x00200001, 0,  4,   0,     0,     0,     0,     0x7F00FF00});
         }},
        {"one-byte text ending in a lead byte",
         [](EmfWriter& w) {
             w.font(3, -12, "Arial", SHIFTJIS_CHARSET).select(3).textOutA(0, 0, "A\x93");
         }},
        {"many saved states",
         [](EmfWriter& w) {
             for (int i = 0; i < 3000; ++i)
                 w.record(kEmfSaveDC, {});
         }},
    };
    for (const Case& c : cases) {
        EmfWriter w;
        c.write(w);
        redBlock(w);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes())) << c.name;
        EXPECT_EQ(canvas.at(5, 2), kRed) << c.name << ": played on";
    }
}

TEST_F(MetafileHostile, AnEnhancedRecordThatDoesNotFitEndsThePicture) {
    for (std::uint32_t size : {0u, 4u, 0x7FFFFFFFu, 0xFFFFFFF8u}) {
        EmfWriter w;
        w.record(kEmfSaveDC, {});
        redBlock(w);
        Bytes bytes = w.bytes();
        std::memcpy(bytes.data() + 108 + 4, &size, 4);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playEnhanced(bytes)) << size;
        EXPECT_EQ(canvas.at(5, 2), 0u) << size;
    }
}

TEST_F(MetafileHostile, OldStyleRecordsThatLieAreSkipped) {
    struct Case {
        const char* name;
        std::function<void(WmfWriter&)> write;
    };
    const Case cases[] = {
        {"polygon count past the record",
         [](WmfWriter& w) {
             w.record(kWmfPolygon, {32767, 1, 1});
         }},
        {"negative polygon count",
         [](WmfWriter& w) {
             w.record(kWmfPolyline, {-5, 1, 1});
         }},
        {"poly-polygon parts past the record",
         [](WmfWriter& w) {
             w.record(kWmfPolyPolygon, {65535, 3});
         }},
        {"poly-polygon counts past the record",
         [](WmfWriter& w) {
             w.record(kWmfPolyPolygon, {2, 65535, 65535, 1, 1});
         }},
        {"text count past the record",
         [](WmfWriter& w) {
             w.record(kWmfTextOut, {32767, 0x4141});
         }},
        {"extended text count past the record",
         [](WmfWriter& w) {
             w.record(kWmfExtTextOut, {5, 5, 32767, 0, 0x4141});
         }},
        {"extended text rectangle cut off",
         [](WmfWriter& w) {
             w.record(kWmfExtTextOut, {5, 5, 1, ETO_OPAQUE, 0});
         }},
        {"bitmap cut off",
         [](WmfWriter& w) {
             w.record(kWmfStretchDib,
                      {0x20, 0xCC, 0, 2, 2, 0, 0, 10, 10, 0, 0, 40, 0, 2, 0, 2, 0, 1, 24});
         }},
        {"bitmap of absurd size",
         [](WmfWriter& w) {
             w.record(kWmfStretchDib, {0x20, 0xCC, 0,      2, 2, 0, 0,  10, 10, 0, 0, 40,
                                       0,    -1,   0x7FFF, 1, 0, 1, 32, 0,  0,  0, 0});
         }},
        {"short font record", [](WmfWriter& w) { w.record(kWmfCreateFontIndirect, {12}); }},
        {"select and delete of slots never made",
         [](WmfWriter& w) {
             w.record(kWmfSelectObject, {65535}).record(kWmfDeleteObject, {65535});
             w.record(kWmfSelectObject, {}).record(kWmfRestoreDC, {-30000});
         }},
        {"records without their parameters",
         [](WmfWriter& w) {
             for (std::uint16_t f :
                  {kWmfRectangle, kWmfEllipse, kWmfArc, kWmfPie, kWmfChord, kWmfRoundRect,
                   kWmfLineTo, kWmfSetTextColor, kWmfCreatePenIndirect, kWmfCreateBrushIndirect})
                 w.record(f, {});
         }},
    };
    for (const Case& c : cases) {
        WmfWriter w;
        c.write(w);
        redBlock(w);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playOldStyle(w.bytes())) << c.name;
        EXPECT_EQ(canvas.at(5, 2), kRed) << c.name << ": played on";
    }
}

TEST_F(MetafileHostile, AnOldStyleRecordThatDoesNotFitEndsThePicture) {
    for (std::uint32_t words : {0u, 1u, 2u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        WmfWriter w;
        w.record(kWmfSaveDC, {});
        redBlock(w);
        Bytes bytes = w.bytes();
        std::memcpy(bytes.data() + 18, &words, 4);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playOldStyle(bytes)) << words;
        EXPECT_EQ(canvas.at(5, 2), 0u) << words;
    }
}

TEST_F(MetafileHostile, EveryPrefixPlaysOrIsRefused) {
    EmfWriter e;
    e.pen(1, PS_SOLID, 3, kGreen).select(1).brush(2, BS_HATCHED, kRed, HS_CROSS).select(2);
    e.record(kEmfSetMapMode, {MM_ANISOTROPIC}).record(kEmfSetWindowExt, {200, 100});
    e.record(kEmfSetViewportExt, {100, 50}).rectangle(10, 10, 150, 80);
    e.record(kEmfPolygon16, {0, 0, 0, 0, 3, 0x00100010, 0x00500090, 0x00200010});
    e.textOutW(20, 20, "abc", 10)
        .stretchDIBits(5, 5, 30, 30, packedDib24(2, 1, {kRed, kBlue}), 0, 2, 1);
    e.record(kEmfRoundRect, {0, 0, 50, 50, 10, 10}).record(kEmfPie, {0, 0, 60, 60, 60, 30, 30, 0});
    const Bytes emf = e.bytes();
    for (std::size_t n = 0; n <= emf.size(); ++n) {
        Bytes prefix(emf.begin(), emf.begin() + static_cast<std::ptrdiff_t>(n));
        Canvas canvas(20, 10);
        canvas.playEnhanced(prefix);
    }

    WmfWriter w;
    w.window(0, 0, 200, 100).pen(PS_SOLID, 2, kGreen).select(0).brush(BS_SOLID, kRed).select(1);
    w.rectangle(10, 10, 150, 80).ellipse(20, 20, 90, 60).textOut(5, 5, "text");
    w.record(kWmfPolyPolygon, {2, 3, 3, 0, 0, 50, 0, 0, 50, 60, 60, 90, 60, 60, 90});
    w.record(kWmfArc, {0, 60, 30, 0, 60, 60, 0, 0}).font(-20, 700, "Courier New").select(2);
    const Bytes wmf = w.bytes();
    for (std::size_t n = 0; n <= wmf.size(); ++n) {
        Bytes prefix(wmf.begin(), wmf.begin() + static_cast<std::ptrdiff_t>(n));
        Canvas canvas(20, 10);
        canvas.playOldStyle(prefix);
    }
}
