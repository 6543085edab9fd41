// Resolutions between the formats' unit conventions, through one canonical form:
// dots per inch x 100, with a flag for whether a unit is known at all. The arithmetic is
// unsigned 32-bit and wraps, as the stored values have always been computed.
#include "CDibConverter.h"
#include "Trace.h"

namespace img {
namespace {

struct Canonical {
    std::uint32_t x, y;
    bool hasUnit;
};

std::uint32_t wrap(double v) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
}

std::uint32_t perCentimetreToCanonical(std::uint32_t v) {
    return wrap(static_cast<double>(v) * 2.539999983236) * 100u;
}

std::uint32_t canonicalToPerCentimetre(std::uint32_t c) {
    return wrap(static_cast<double>(c) * 0.01 * 0.39370079);
}

bool readCanonical(const ImgResolution& r, int kind, Canonical& out) {
    const auto x = static_cast<std::uint32_t>(r.x);
    const auto y = static_cast<std::uint32_t>(r.y);
    switch (kind) {
    case 0:
    case 1:
        switch (r.unit) {
        case 0:
            out = {x, y, false};
            break;
        case 1:
            out = {perCentimetreToCanonical(x), perCentimetreToCanonical(y), true};
            break;
        case 2:
            out = {x * 100u, y * 100u, true};
            break;
        default:
            out = {0, 0, false};
            break;
        }
        return true;
    case 2:
        if (r.unit != 0 && r.unit != 1) {
            trace(kTraceWarning, "Bad input DPI\n");
            out = {x, y, false};
        } else {
            out = {x, y, r.unit == 1};
        }
        return true;
    case 3:
        out = r.unit == 1 ? Canonical{x * 100u, y * 100u, true} : Canonical{0, 0, false};
        return true;
    case 4:
        out = r.unit == 1 ? Canonical{x, y, true} : Canonical{0, 0, false};
        return true;
    case 5:
        out = {perCentimetreToCanonical(x), perCentimetreToCanonical(y), true};
        return true;
    default:
        return false;
    }
}

void store(ImgResolution& r, int unit, std::uint32_t x, std::uint32_t y) {
    r.unit = unit;
    r.x = static_cast<std::int32_t>(x);
    r.y = static_cast<std::int32_t>(y);
}

int writeCanonical(ImgResolution& r, int kind, const Canonical& c) {
    switch (kind) {
    case 0:
    case 1:
    case 5:
        if (c.hasUnit || kind == 5)
            store(r, 1, canonicalToPerCentimetre(c.x), canonicalToPerCentimetre(c.y));
        else
            store(r, 0, c.x, c.y);
        return 1;
    case 2:
        store(r, c.hasUnit ? 1 : 0, c.x, c.y);
        return 1;
    case 3:
        if (!c.hasUnit) return store(r, 0, 0, 0), 0;
        store(r, 1, c.x / 100u, c.y / 100u);
        return 1;
    case 4:
        if (!c.hasUnit) return store(r, 0, 0, 0), 0;
        store(r, 1, c.x, c.y);
        return 1;
    default:
        return 1;
    }
}

} // namespace

int CDibConverter::convertResolution(ImgResolution* record, int fromKind, int toKind) {
    if (record == nullptr || fromKind < 0) return 0;
    Canonical canonical{};
    if (!readCanonical(*record, fromKind, canonical)) return 0;
    if (toKind < 0) return 1;
    return writeCanonical(*record, toKind, canonical);
}

} // namespace img
