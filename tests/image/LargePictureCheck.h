// loadMetafile on a picture near the largest device bitmap: it comes back at its size, each
// probe shows its colour, a second run under another heap fill byte gives the same picture, and
// the call holds no more than the device bitmap, the returned image and 48 MiB.
#pragma once

#include "win32/win32.h"

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using Probe = std::pair<POINT, COLORREF>;

void expectHeldToItsBitmapAndImage(const std::string& path, const std::string& name, LONG width,
                                   LONG height, COLORREF background,
                                   const std::vector<Probe>& probes);

} // namespace testing_support
