#include "peaks/peak_centring.h"

#include "host/params.h"

namespace vantrel::peaks {

// Placeholder bodies until this subsystem lands: NaN for every input.
double InverseErfPolynomial(double) noexcept { return kNaN; }
double PeakCentringLin(double, double, double, double, double, double) noexcept { return kNaN; }
double PeakCentringLinSDev(double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double PeakCentringGauss(double, double, double, double, double, double) noexcept { return kNaN; }
double PeakCentringGaussSDev(double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::peaks
