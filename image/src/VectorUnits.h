// Whether the resamplers may run their side-by-side vector sums. They give the same bytes as
// the plain loops; tests switch them off to compare the two.
#pragma once

namespace img {

bool vectorUnitsAvailable();
// Allows them (the default, where the processor has them) or keeps to the plain loops.
void allowVectorUnits(bool allowed);

} // namespace img
