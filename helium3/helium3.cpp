#include "helium3/helium3.h"

#include "host/params.h"

namespace vantrel::helium3 {

// Placeholder bodies until this subsystem lands: NaN for every input.
double He3Efficiency(double, double, double, double, double) noexcept { return kNaN; }
double He3EfficiencySDev(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double He3Efficiency2(double, double, double, double) noexcept { return kNaN; }
double He3Efficiency2SDev(double, double, double, double) noexcept { return kNaN; }
double He3Transmission(double, double, double, double, double) noexcept { return kNaN; }
double He3TransmissionSDev(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double He3Polarisation(double, double, double, double, double, double) noexcept { return kNaN; }
double He3PolarisationSDev(double, double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::helium3
