// A whole file as bytes, for tests that cut or mend files of the public suites.
#pragma once

#include "TestFiles.h"

namespace testing_support {

Bytes readWholeFile(const std::string& path); // empty when it cannot be read

} // namespace testing_support
