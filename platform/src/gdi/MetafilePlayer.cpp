// The player's state: mapping modes, the world transform, saved states, the object table,
// and bringing the target DC in line before each GDI call.
#include "gdi/MetafilePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace winplat::gdi::meta {
namespace {

// More would only serve a hostile file: a deeper save is dropped, a higher index ignored.
constexpr std::size_t kMaxSavedStates = 1024;
constexpr std::uint32_t kMaxObjects = 65536;
constexpr double kCoordinateLimit = 1 << 29;
constexpr int kMaxPenWidth = 1 << 14;
constexpr long kMaxFontHeight = 100000;

bool fixedMode(int mode) {
    return mode >= MM_LOMETRIC && mode <= MM_TWIPS;
}

bool scalableMode(int mode) {
    return mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC;
}

// Millimetres per logical unit of the metric and English modes.
double unitMillimetres(int mode) {
    switch (mode) {
    case MM_LOMETRIC:
        return 0.1;
    case MM_HIMETRIC:
        return 0.01;
    case MM_LOENGLISH:
        return 0.254;
    case MM_HIENGLISH:
        return 0.0254;
    default:
        return 25.4 / 1440;
    }
}

bool usable(double v) {
    return std::isfinite(v) && v != 0;
}

} // namespace

LONG roundedLong(double v, double limit) {
    if (std::isnan(v)) return 0;
    return static_cast<LONG>(std::clamp(std::floor(v + 0.5), -limit, limit));
}

Affine Affine::then(const Affine& b) const {
    Affine r;
    r.m11 = m11 * b.m11 + m12 * b.m21;
    r.m12 = m11 * b.m12 + m12 * b.m22;
    r.m21 = m21 * b.m11 + m22 * b.m21;
    r.m22 = m21 * b.m12 + m22 * b.m22;
    r.dx = dx * b.m11 + dy * b.m21 + b.dx;
    r.dy = dx * b.m12 + dy * b.m22 + b.dy;
    return r;
}

bool Affine::finite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
}

Player::Player(HDC dc, const Setup& setup) : m_dc(dc), m_setup(setup) {
    m_state.mapping = setup.mapping;
    if (dc == nullptr) {
        m_ready = true;
        return;
    }
    m_baseLevel = SaveDC(dc);
    m_ready = m_baseLevel != 0;
}

Player::~Player() {
    if (m_dc == nullptr || !m_ready) return;
    // Restoring puts the caller's objects back, so the ones made here are free to go.
    RestoreDC(m_dc, m_baseLevel);
    if (m_ownPen) DeleteObject(m_pen);
    if (m_ownBrush) DeleteObject(m_brush);
    if (m_ownFont) DeleteObject(m_font);
}

void Player::markDirty() {
    m_transformDirty = true;
}

const Affine& Player::transform() {
    if (!m_transformDirty) return m_transform;
    const Mapping& m = m_state.mapping;
    double sx = 1;
    double sy = 1;
    if (fixedMode(m.mode)) {
        sx = m_setup.pixelsPerMmX * unitMillimetres(m.mode);
        sy = -m_setup.pixelsPerMmY * unitMillimetres(m.mode);
    } else if (scalableMode(m.mode)) {
        sx = m.viewportExtX / m.windowExtX;
        sy = m.viewportExtY / m.windowExtY;
        if (m.mode == MM_ISOTROPIC) {
            const double unit = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(unit, sx);
            sy = std::copysign(unit, sy);
        }
    }
    const Affine page{
        sx, 0, 0, sy, m.viewportOrgX - m.windowOrgX * sx, m.viewportOrgY - m.windowOrgY * sy};
    m_transform = m_state.world.then(page).then(m_setup.deviceToTarget);
    m_transformDirty = false;
    return m_transform;
}

PointF Player::toTarget(double x, double y) {
    const PointF p = transform().apply(x, y);
    if (measuring()) {
        const POINT q = pixelOf(p);
        if (!m_hasBounds) {
            m_bounds = {q.x, q.y, q.x, q.y};
            m_hasBounds = true;
        }
        m_bounds.left = std::min(m_bounds.left, q.x);
        m_bounds.top = std::min(m_bounds.top, q.y);
        m_bounds.right = std::max(m_bounds.right, q.x);
        m_bounds.bottom = std::max(m_bounds.bottom, q.y);
    }
    return p;
}

POINT Player::pixelOf(const PointF& p) {
    return {roundedLong(p.x, kCoordinateLimit), roundedLong(p.y, kCoordinateLimit)};
}

double Player::lengthScale() {
    const Affine& t = transform();
    const double s = std::sqrt(std::abs(t.m11 * t.m22 - t.m12 * t.m21));
    return std::isfinite(s) ? s : 0;
}

std::vector<PointF> Player::targetPoints(const std::vector<PointF>& logical) {
    std::vector<PointF> out;
    out.reserve(logical.size());
    for (const PointF& p : logical)
        out.push_back(toTarget(p.x, p.y));
    return out;
}

std::vector<POINT> Player::pixels(const std::vector<PointF>& target) {
    std::vector<POINT> out;
    out.reserve(target.size());
    for (const PointF& p : target)
        out.push_back(pixelOf(p));
    return out;
}

// Mapping. Measuring takes every point as it stands, so it ignores them.

void Player::setMapMode(int mode) {
    if (measuring() || mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    Mapping& m = m_state.mapping;
    if (mode == m.mode) return;
    if (scalableMode(mode) && scalableMode(m.mode)) {
        m.mode = mode;
    } else if (scalableMode(mode)) {
        // The extents of the mode left behind stay, as the scale it had.
        const double unit = fixedMode(m.mode) ? unitMillimetres(m.mode) : 0;
        m.windowExtX = unit != 0 ? 1 / unit : 1;
        m.windowExtY = unit != 0 ? 1 / unit : 1;
        m.viewportExtX = unit != 0 ? m_setup.pixelsPerMmX : 1;
        m.viewportExtY = unit != 0 ? -m_setup.pixelsPerMmY : 1;
        m.mode = mode;
    } else {
        m.mode = mode;
        m.windowExtX = m.windowExtY = m.viewportExtX = m.viewportExtY = 1;
    }
    markDirty();
}

void Player::setWindowOrg(double x, double y) {
    if (measuring() || !std::isfinite(x) || !std::isfinite(y)) return;
    m_state.mapping.windowOrgX = x;
    m_state.mapping.windowOrgY = y;
    markDirty();
}

void Player::offsetWindowOrg(double x, double y) {
    setWindowOrg(m_state.mapping.windowOrgX + x, m_state.mapping.windowOrgY + y);
}

void Player::setViewportOrg(double x, double y) {
    if (measuring() || !std::isfinite(x) || !std::isfinite(y)) return;
    m_state.mapping.viewportOrgX = x;
    m_state.mapping.viewportOrgY = y;
    markDirty();
}

void Player::setWindowExt(double x, double y) {
    if (measuring() || !scalableMode(m_state.mapping.mode) || !usable(x) || !usable(y)) return;
    m_state.mapping.windowExtX = x;
    m_state.mapping.windowExtY = y;
    markDirty();
}

void Player::setViewportExt(double x, double y) {
    if (measuring() || !scalableMode(m_state.mapping.mode) || !usable(x) || !usable(y)) return;
    m_state.mapping.viewportExtX = x;
    m_state.mapping.viewportExtY = y;
    markDirty();
}

void Player::scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (!usable(xDenom) || !usable(yDenom)) return;
    setWindowExt(m_state.mapping.windowExtX * xNum / xDenom,
                 m_state.mapping.windowExtY * yNum / yDenom);
}

void Player::scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (!usable(xDenom) || !usable(yDenom)) return;
    setViewportExt(m_state.mapping.viewportExtX * xNum / xDenom,
                   m_state.mapping.viewportExtY * yNum / yDenom);
}

void Player::setWorld(const Affine& world) {
    if (measuring() || !world.finite()) return;
    m_state.world = world;
    markDirty();
}

void Player::modifyWorld(const Affine& by, int mode) {
    switch (mode) {
    case 1:
        setWorld(Affine{});
        break;
    case 2:
        setWorld(by.then(m_state.world));
        break;
    case 3:
        setWorld(m_state.world.then(by));
        break;
    case 4:
        setWorld(by);
        break;
    default:
        break;
    }
}

void Player::save() {
    if (m_saved.size() < kMaxSavedStates) m_saved.push_back(m_state);
}

void Player::restore(int level) {
    const long long count = static_cast<long long>(m_saved.size());
    const long long index = level < 0 ? count + level : static_cast<long long>(level) - 1;
    if (index < 0 || index >= count) return;
    m_state = m_saved[static_cast<std::size_t>(index)];
    m_saved.resize(static_cast<std::size_t>(index));
    markDirty();
}

// Objects.

Object* Player::object(std::uint32_t index) {
    if (index >= m_objects.size() || m_objects[index].kind == Object::Kind::Empty) return nullptr;
    return &m_objects[index];
}

bool Player::store(std::uint32_t index, const Object& object) {
    if (index >= kMaxObjects) return false;
    if (index >= m_objects.size()) m_objects.resize(index + 1);
    m_objects[index] = object;
    return true;
}

int Player::firstFreeSlot() {
    for (std::size_t i = 0; i < m_objects.size(); ++i)
        if (m_objects[i].kind == Object::Kind::Empty) return static_cast<int>(i);
    return m_objects.size() < kMaxObjects ? static_cast<int>(m_objects.size()) : -1;
}

void Player::erase(std::uint32_t index) {
    if (index < m_objects.size()) m_objects[index] = Object{};
}

void Player::select(const Object& o) {
    switch (o.kind) {
    case Object::Kind::Pen:
        m_state.pen = o.pen;
        break;
    case Object::Kind::Brush:
        m_state.brush = o.brush;
        break;
    case Object::Kind::Font:
        m_state.font = o.font;
        break;
    case Object::Kind::Region:
        resetClip();
        intersectClip(o.region.left, o.region.top, o.region.right, o.region.bottom);
        break;
    default:
        break;
    }
}

void Player::selectStock(int index) {
    static const BYTE greys[] = {255, 192, 128, 64, 0};
    constexpr int kDcBrush = 18;
    constexpr int kDcPen = 19;
    if (index >= WHITE_BRUSH && index <= BLACK_BRUSH) {
        const BYTE g = greys[index];
        m_state.brush = LogBrush{BS_SOLID, RGB(g, g, g), 0};
    } else if (index == NULL_BRUSH) {
        m_state.brush = LogBrush{BS_NULL, 0, 0};
    } else if (index == kDcBrush) {
        m_state.brush = LogBrush{};
    } else if (index == WHITE_PEN || index == BLACK_PEN || index == kDcPen) {
        m_state.pen = LogPen{PS_SOLID, 0, true, index == WHITE_PEN ? RGB(255, 255, 255) : 0};
    } else if (index == NULL_PEN) {
        m_state.pen = LogPen{PS_NULL, 0, true, 0};
    } else if (GetObjectType(GetStockObject(index)) == OBJ_FONT) {
        GetObjectA(GetStockObject(index), sizeof m_state.font, &m_state.font);
    }
}

// Clipping.

void Player::intersectClip(double left, double top, double right, double bottom) {
    const PointF corners[4] = {toTarget(left, top), toTarget(right, top), toTarget(right, bottom),
                               toTarget(left, bottom)};
    if (measuring()) return;
    RECT r{};
    for (int i = 0; i < 4; ++i) {
        const POINT p = pixelOf(corners[i]);
        r = i == 0 ? RECT{p.x, p.y, p.x, p.y}
                   : RECT{std::min(r.left, p.x), std::min(r.top, p.y), std::max(r.right, p.x),
                          std::max(r.bottom, p.y)};
    }
    m_state.clip = m_state.clipped ? intersect(m_state.clip, r) : r;
    m_state.clipped = true;
}

void Player::clipToDeviceRect(const RECT& device, bool replace) {
    if (measuring()) return;
    const PointF a = m_setup.deviceToTarget.apply(device.left, device.top);
    const PointF b = m_setup.deviceToTarget.apply(device.right, device.bottom);
    const POINT p = pixelOf(a);
    const POINT q = pixelOf(b);
    const RECT r{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y)};
    m_state.clip = m_state.clipped && !replace ? intersect(m_state.clip, r) : r;
    m_state.clipped = true;
}

void Player::resetClip() {
    m_state.clipped = false;
}

void Player::clipToPath(bool replace) {
    bool any = false;
    RECT r{};
    for (const Figure& f : m_path)
        for (const PointF& p : f.points) {
            const POINT q = pixelOf(p);
            r = !any ? RECT{q.x, q.y, q.x, q.y}
                     : RECT{std::min(r.left, q.x), std::min(r.top, q.y), std::max(r.right, q.x),
                            std::max(r.bottom, q.y)};
            any = true;
        }
    abortPath();
    if (!any || measuring()) return;
    m_state.clip = m_state.clipped && !replace ? intersect(m_state.clip, r) : r;
    m_state.clipped = true;
}

// The target DC.

bool Player::prepare(bool font) {
    if (measuring() || !m_ready) return false;
    prepareClip();
    preparePen();
    prepareBrush();
    if (font) prepareFont();
    SetBkMode(m_dc, m_state.bkMode);
    SetBkColor(m_dc, m_state.bkColour);
    SetTextColor(m_dc, m_state.textColour);
    SetPolyFillMode(m_dc, m_state.fillMode);
    SetStretchBltMode(m_dc, m_state.stretchMode);
    SetTextAlign(m_dc, m_state.textAlign & ~static_cast<UINT>(1)); // not TA_UPDATECP
    return true;
}

void Player::reselectAll() {
    for (HGDIOBJ o : {m_pen, m_brush, m_font})
        if (o != nullptr) SelectObject(m_dc, o);
}

// The DC's clip only narrows, so a different one starts again from the caller's: the saved
// base level is restored and saved anew.
void Player::prepareClip() {
    const State& s = m_state;
    if (s.clipped == m_clipApplied &&
        (!s.clipped || std::memcmp(&s.clip, &m_appliedClip, sizeof(RECT)) == 0))
        return;
    RestoreDC(m_dc, m_baseLevel);
    m_baseLevel = SaveDC(m_dc);
    reselectAll();
    if (s.clipped) IntersectClipRect(m_dc, s.clip.left, s.clip.top, s.clip.right, s.clip.bottom);
    m_clipApplied = s.clipped;
    m_appliedClip = s.clip;
}

namespace {

// Swaps in a newly made object; the one made before it goes once it is no longer selected.
void swapIn(HDC dc, HGDIOBJ made, bool own, HGDIOBJ& slot, bool& slotOwn) {
    SelectObject(dc, made);
    if (slotOwn && slot != nullptr && slot != made) DeleteObject(slot);
    slot = made;
    slotOwn = own;
}

} // namespace

void Player::preparePen() {
    const LogPen& p = m_state.pen;
    LOGPEN key{};
    const UINT style = p.style & 0xFu;
    key.lopnStyle = style <= PS_INSIDEFRAME ? style : PS_SOLID;
    if (key.lopnStyle != PS_NULL) {
        const double px = p.cosmetic || p.width <= 0 ? 1 : p.width * lengthScale();
        key.lopnWidth.x = std::clamp(roundedLong(px, kMaxPenWidth), 1, kMaxPenWidth);
        key.lopnColor = p.colour;
    }
    if (m_havePen && std::memcmp(&key, &m_penKey, sizeof key) == 0) return;
    HGDIOBJ made = nullptr;
    bool own = false;
    if (key.lopnStyle == PS_NULL) {
        made = GetStockObject(NULL_PEN);
    } else {
        made = CreatePen(static_cast<int>(key.lopnStyle), key.lopnWidth.x, key.lopnColor);
        own = made != nullptr;
    }
    m_havePen = made != nullptr;
    if (made == nullptr) made = GetStockObject(BLACK_PEN);
    swapIn(m_dc, made, own, m_pen, m_ownPen);
    m_penKey = key;
}

void Player::prepareBrush() {
    const LogBrush& b = m_state.brush;
    LOGBRUSH key{};
    key.lbStyle = b.style == BS_NULL || b.style == BS_HATCHED ? b.style : BS_SOLID;
    if (key.lbStyle != BS_NULL) key.lbColor = b.colour;
    if (key.lbStyle == BS_SOLID && b.setBits >= 0) {
        const COLORREF clear = m_state.textColour;
        const COLORREF set = m_state.bkColour;
        const auto mix = [&](BYTE c, BYTE s) {
            return static_cast<BYTE>(std::lround(c + (s - c) * b.setBits));
        };
        key.lbColor =
            RGB(mix(GetRValue(clear), GetRValue(set)), mix(GetGValue(clear), GetGValue(set)),
                mix(GetBValue(clear), GetBValue(set)));
    }
    if (key.lbStyle == BS_HATCHED)
        key.lbHatch = static_cast<ULONG_PTR>(std::clamp(b.hatch, HS_HORIZONTAL, HS_DIAGCROSS));
    if (m_haveBrush && std::memcmp(&key, &m_brushKey, sizeof key) == 0) return;
    HGDIOBJ made = nullptr;
    bool own = false;
    if (key.lbStyle == BS_NULL) {
        made = GetStockObject(NULL_BRUSH);
    } else {
        made = CreateBrushIndirect(&key);
        own = made != nullptr;
    }
    m_haveBrush = made != nullptr;
    if (made == nullptr) made = GetStockObject(NULL_BRUSH);
    swapIn(m_dc, made, own, m_brush, m_ownBrush);
    m_brushKey = key;
}

void Player::prepareFont() {
    const Affine& t = transform();
    LOGFONTA key = m_state.font;
    key.lfFaceName[LF_FACESIZE - 1] = '\0';
    const auto scaled = [](LONG v, double by) {
        if (v == 0) return v;
        LONG s = roundedLong(v * by, kMaxFontHeight);
        return s != 0 ? s : (v < 0 ? -1 : 1);
    };
    key.lfHeight = scaled(key.lfHeight, std::hypot(t.m21, t.m22));
    key.lfWidth = scaled(key.lfWidth, std::hypot(t.m11, t.m12));
    if (m_haveFont && std::memcmp(&key, &m_fontKey, sizeof key) == 0) return;
    HGDIOBJ made = CreateFontIndirectA(&key);
    m_haveFont = made != nullptr;
    if (made == nullptr) return;
    swapIn(m_dc, made, true, m_font, m_ownFont);
    m_fontKey = key;
}

} // namespace winplat::gdi::meta
