// Small WBMP files for the reader's tests.
#pragma once

#include "TestFiles.h"

namespace testing_support {

// The multi-byte integer of the format: seven bits a byte, most significant group first.
Bytes wbmpNumber(unsigned value);

// Type 0 header, width, height, then the rows as given ((width + 7) / 8 bytes each).
Bytes writeWbmp(unsigned width, unsigned height, const Bytes& rows);

} // namespace testing_support
