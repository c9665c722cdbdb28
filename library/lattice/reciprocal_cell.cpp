#include "vantrel/lattice/reciprocal_cell.h"

#include <cmath>

namespace vantrel::lattice {
namespace {

// arccos(x) in degrees by the half-angle route: √(1 + x) = √2·cos(θ/2), so
// t = tan²(θ/4). NaN for |x| > 1.
double ArcCosDegrees(double x) noexcept {
    const double root2 = std::sqrt(2.0);
    const double s = std::sqrt(x + 1.0);
    const double t = (root2 - s) / (root2 + s);
    return (std::atan(std::sqrt(t)) * 4.0) * kRadToDeg;
}

}  // namespace

int ReciprocalCell(double a, double b, double c, double alpha, double beta, double gamma,
                   ReciprocalParameters& out) noexcept {
    const double a2 = a * a;
    const double b2 = b * b;
    const double c2 = c * c;
    const double g12 = std::cos(gamma * kDegToRad) * (a * b);
    const double g13 = std::cos(beta * kDegToRad) * (a * c);
    const double g23 = std::cos(alpha * kDegToRad) * (b * c);

    // Cofactors of the symmetric metric; D expanded along its first row.
    const double K11 = c2 * b2 - g23 * g23;
    const double K12 = g23 * g13 - g12 * c2;
    const double K13 = g23 * g12 - g13 * b2;
    const double K22 = c2 * a2 - g13 * g13;
    const double K23 = g13 * g12 - g23 * a2;
    const double K33 = b2 * a2 - g12 * g12;
    const double D = (K12 * g12 + K11 * a2) + K13 * g13;
    // Also refuses D < 0 (angles that cannot close a cell); a NaN D passes.
    if (D < kSingularMetricLimit) return kWrongLatticeError;

    const double G11 = K11 / D;
    const double G12 = K12 / D;
    const double G13 = K13 / D;
    const double G22 = K22 / D;
    const double G23 = K23 / D;
    const double G33 = K33 / D;

    out.aStar = std::sqrt(G11);
    out.bStar = std::sqrt(G22);
    out.cStar = std::sqrt(G33);
    out.alphaStar = ArcCosDegrees(G23 / (out.bStar * out.cStar));
    out.betaStar = ArcCosDegrees(G13 / (out.cStar * out.aStar));
    out.gammaStar = ArcCosDegrees(G12 / (out.bStar * out.aStar));
    return 0;
}

}  // namespace vantrel::lattice
