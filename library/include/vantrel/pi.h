// The π of every formula: 3.14159265359, twelve significant digits rather than
// the nearest double. Results have always been computed with it, so it stays:
// the last digits of the peak-centring deviations and of every lattice result
// depend on it (a right angle has the cosine −1.0341155355510722e-13, not 0).
#pragma once

namespace vantrel {

inline constexpr double kPi = 3.14159265359;

// Degrees to radians and back, both through kPi.
inline constexpr double kDegToRad = kPi / 180.0;
inline constexpr double kRadToDeg = 180.0 / kPi;

static_assert(kDegToRad == 0.017453292519944444 && kRadToDeg == 57.29577951307855);

}  // namespace vantrel
