// SaveDC and RestoreDC: a stack of DC states, each holding its objects as selections.
#include "gdi/DeviceContext.h"

namespace winplat::gdi {
namespace {

// Deep enough for any nesting a caller or a metafile means; a runaway one is refused.
constexpr std::size_t kMaxSavedStates = 4096;

template <class T> T* held(T* object) {
    ++object->selections;
    return object;
}

void release(const SavedDCState& s) {
    for (GdiObject* o : {static_cast<GdiObject*>(s.pen), static_cast<GdiObject*>(s.brush),
                         static_cast<GdiObject*>(s.font), static_cast<GdiObject*>(s.palette)})
        --o->selections;
}

// Puts a saved state back; its selections pass to the DC, whose own ones are let go.
void apply(DeviceContext& dc, const SavedDCState& s) {
    for (GdiObject* o : {static_cast<GdiObject*>(dc.pen), static_cast<GdiObject*>(dc.brush),
                         static_cast<GdiObject*>(dc.font), static_cast<GdiObject*>(dc.palette)})
        --o->selections;
    dc.pen = s.pen;
    dc.brush = s.brush;
    dc.font = s.font;
    dc.palette = s.palette;
    dc.textColour = s.textColour;
    dc.bkColour = s.bkColour;
    dc.bkMode = s.bkMode;
    dc.textAlign = s.textAlign;
    dc.stretchMode = s.stretchMode;
    dc.polyFillMode = s.polyFillMode;
    dc.current = s.current;
    dc.viewportOrg = s.viewportOrg;
    dc.windowOrg = s.windowOrg;
    // The bitmap may have changed since, and the clip never reaches past what it holds.
    dc.clip = intersect(s.clip, dc.area);
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

int SaveDC(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || dc->saved.size() >= kMaxSavedStates) return 0;
    dc->saved.push_back(SavedDCState{held(dc->pen), held(dc->brush), held(dc->font),
                                     held(dc->palette), dc->textColour, dc->bkColour, dc->bkMode,
                                     dc->textAlign, dc->stretchMode, dc->polyFillMode, dc->current,
                                     dc->viewportOrg, dc->windowOrg, dc->clip});
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int level) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const long long count = static_cast<long long>(dc->saved.size());
    const long long target = level < 0 ? count + level + 1 : level;
    if (target < 1 || target > count) return FALSE;
    while (static_cast<long long>(dc->saved.size()) > target) {
        release(dc->saved.back());
        dc->saved.pop_back();
    }
    apply(*dc, dc->saved.back());
    dc->saved.pop_back();
    return TRUE;
}

} // extern "C"
