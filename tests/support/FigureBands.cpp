#include "FigureBands.h"

#include "MetafileWriter.h"

#include <vector>

namespace testing_support {
namespace {

void put32(Bytes& b, LONG v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

// A 32-bit polygon record: bounds, count, points.
Bytes polygonBody(const std::vector<POINT>& points) {
    Bytes body;
    for (int i = 0; i < 4; ++i)
        put32(body, 0);
    put32(body, static_cast<LONG>(points.size()));
    for (const POINT& p : points) {
        put32(body, p.x);
        put32(body, p.y);
    }
    return body;
}

} // namespace

Bytes FigureBands::bytes() const {
    EmfWriter w({0, 0, width, height}, {1000, 1000}, {10, 10});
    w.pen(1, PS_SOLID, 3, kPen).select(1);
    const LONG outside = -10;
    const LONG beyond = across() + 10;
    for (int band = 0; band < 4; ++band) {
        w.brush(2 + band, BS_SOLID, kBrushes[band]).select(2 + band);
        const LONG a0 = first(band), a1 = last(band), slope = (a1 - a0) / 8;
        const POINT from = at(a0, outside), to = at(a1, beyond);
        switch (band) {
        case 0:
            w.rectangle(from.x, from.y, to.x, to.y);
            break;
        case 1:
            w.record(kEmfEllipse, {from.x, from.y, to.x, to.y});
            break;
        case 2:
            w.raw(kEmfPolygon, polygonBody({at(a0, outside), at(a0 + slope, beyond), at(a1, beyond),
                                            at(a1 - slope, outside)}));
            break;
        default:
            w.record(kEmfBeginPath, {});
            w.raw(kEmfPolygon, polygonBody({at(a0 + slope, outside), at(a0, beyond),
                                            at(a1 - slope, beyond), at(a1, outside)}));
            w.record(kEmfEndPath, {});
            w.record(kEmfFillPath, {0, 0, 0, 0});
            break;
        }
    }
    return w.bytes();
}

} // namespace testing_support
