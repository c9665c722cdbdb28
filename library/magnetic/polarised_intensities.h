// The two intensities of a reflection measured with the beam polarised along
// the field and flipped, for the ratios a structure predicts and the fit of
// its moments alike.
#pragma once

#include <complex>

namespace vantrel::magnetic {

// Whether P, f and q² lie where the intensities mean something: P in [−1, 1]
// and not 0, f in (0, 1], q² in (0, 1].
inline bool UsableBeam(double P, double f, double q2) noexcept {
    return P >= -1.0 && P <= 1.0 && P != 0.0 && f > 0.0 && f <= 1.0 && q2 > 0.0 && q2 <= 1.0;
}

// I₊ ∝ |F_N|² + 2P·q²·Re(F_N*·F_M) + q²·|F_M|² and I₋ with −2P′, P′ = (2f − 1)·P.
struct PolarisedIntensities {
    double plus, minus;
};

inline PolarisedIntensities Intensities(std::complex<double> FN, std::complex<double> FM, double P,
                                        double f, double q2) noexcept {
    const double nuclear = std::norm(FN);
    const double interference = q2 * (FN.real() * FM.real() + FN.imag() * FM.imag());
    const double magnetic = q2 * std::norm(FM);
    const double Pf = (2.0 * f - 1.0) * P;
    return {nuclear + (2.0 * P) * interference + magnetic,
            nuclear - (2.0 * Pf) * interference + magnetic};
}

}  // namespace vantrel::magnetic
