// The window's icon and the link's cursor, drawn from the small pictures in the resources.
#pragma once

#include "win32/win32.h"

namespace helpview {

// '#' black, 'o' white, 'b' blue, 'y' yellow, '.' transparent; a first line
// "# hot spot X Y" makes it a cursor. Null when the resource is missing.
HICON iconFromArt(const char* resourceName);

} // namespace helpview
