// How every text leaves the plug-in: into the caller's buffer of the caller's length, or, when
// it does not fit with its zero, -1 and the length it needs.
#pragma once

namespace gallimo {

int copyStringOut(const char* text, char* buffer, int* length);

} // namespace gallimo
