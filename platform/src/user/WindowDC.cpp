// Window DCs wait for the GDI stand-in; until then painting hands out no DC.
#include "user/WindowSystem.h"

namespace winplat::user {

HDC acquireWindowDC(Window*, bool, const RECT*) { return nullptr; }
void releaseWindowDC(HDC) {}
LRESULT eraseWithClassBrush(Window*, HDC) { return 0; }
void paintFrame(Window*) {}

} // namespace winplat::user
