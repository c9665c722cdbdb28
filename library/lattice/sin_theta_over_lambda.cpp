#include "vantrel/lattice/sin_theta_over_lambda.h"

#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/lattice/reciprocal_cell.h"
#include "vantrel/nan.h"

// Every function here forms d*² = 1/d² = |h·a* + k·b* + l·c*|², the squared
// length of the reciprocal-lattice vector of the reflection, and returns
// sin(θ)/λ = √(d*²)/2.
//
// The closed forms (cubic, hexagonal, tetragonal, orthorhombic) write d*² over
// a common denominator E², d*² = S/E². The others go through the reciprocal
// cell: its angles α*, β*, γ* are taken back to degrees and their cosines
// formed again, although the reciprocal metric holds those cosines already.
// The detour is kept because results have always been computed this way with
// the 12-digit π of vantrel/pi.h: converting there and back with it decides
// the last bits (a right angle is not exactly 90°), and the results must agree
// with all that was computed before.
namespace vantrel::lattice {
namespace {

// sin(θ)/λ = (√S / E)/2 from d*² = S/E². Only E is guarded; a negative edge
// keeps its sign through E.
double ClosedForm(double E, double S) noexcept {
    if (E == 0.0) return kNaN;
    return (std::sqrt(S) / E) * 0.5;
}

double CosDegrees(double angle) noexcept { return std::cos(angle * kDegToRad); }

// The pieces of d*²: the squares of the three axes' terms, and the cross term
// of each pair of axes with the cosine of their angle.
double DStarSqDiagonal(const ReciprocalParameters& r, double h, double k, double l) noexcept {
    return (Square(r.aStar * h) + Square(r.bStar * k)) + Square(r.cStar * l);
}

double GammaTerm(const ReciprocalParameters& r, double h, double k) noexcept {
    return CosDegrees(r.gammaStar) * ((((h + h) * k) * r.aStar) * r.bStar);
}

double AlphaTerm(const ReciprocalParameters& r, double k, double l) noexcept {
    return CosDegrees(r.alphaStar) * ((((k + k) * l) * r.bStar) * r.cStar);
}

double BetaTerm(const ReciprocalParameters& r, double l, double h) noexcept {
    return CosDegrees(r.betaStar) * ((((l + l) * h) * r.cStar) * r.aStar);
}

}  // namespace

double STLcubic(double h, double k, double l, double a) noexcept {
    return ClosedForm(a, (Square(k) + Square(h)) + Square(l));
}

double STLhexagonal(double h, double k, double l, double a, double c) noexcept {
    const double S = (((Square(k) + Square(h)) + k * h) * 4.0) * Square(c) + Square(a * l) * 3.0;
    return ClosedForm((std::sqrt(3.0) * a) * c, S);
}

double STLrhombohedral(double h, double k, double l, double a, double alpha) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, a, a, alpha, alpha, alpha, r) != 0) return kNaN;
    const double s = (l * k + l * h) + k * h;
    return (std::sqrt(CosDegrees(r.alphaStar) * (s + s) + ((Square(k) + Square(h)) + Square(l))) *
            r.aStar) *
           0.5;
}

double STLtetragonal(double h, double k, double l, double a, double c) noexcept {
    return ClosedForm(c * a, (Square(k) + Square(h)) * Square(c) + Square(a * l));
}

double STLorthorhombic(double h, double k, double l, double a, double b, double c) noexcept {
    const double S = (Square((c * k) * a) + Square((b * h) * c)) + Square((a * l) * b);
    return ClosedForm((b * a) * c, S);
}

double STLmonoclinicB(double h, double k, double l, double a, double b, double c,
                      double beta) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, b, c, 90.0, beta, 90.0, r) != 0) return kNaN;
    return std::sqrt(BetaTerm(r, l, h) + DStarSqDiagonal(r, h, k, l)) * 0.5;
}

double STLmonoclinicC(double h, double k, double l, double a, double b, double c,
                      double gamma) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, b, c, 90.0, 90.0, gamma, r) != 0) return kNaN;
    return std::sqrt(GammaTerm(r, h, k) + DStarSqDiagonal(r, h, k, l)) * 0.5;
}

double STLtriclinic(double h, double k, double l, double a, double b, double c, double alpha,
                    double beta, double gamma) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, b, c, alpha, beta, gamma, r) != 0) return kNaN;
    const double gammaTerm = GammaTerm(r, h, k);
    const double diagonal = DStarSqDiagonal(r, h, k, l);
    const double alphaTerm = AlphaTerm(r, k, l);
    const double betaTerm = BetaTerm(r, l, h);
    const double dStarSq = ((gammaTerm + diagonal) + alphaTerm) + betaTerm;
    return std::sqrt(dStarSq) * 0.5;
}

}  // namespace vantrel::lattice

VANTREL_COLUMN_KERNEL(vantrel::lattice::STLcubic);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLhexagonal);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLrhombohedral);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLtetragonal);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLorthorhombic);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLmonoclinicB);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLmonoclinicC);
VANTREL_COLUMN_KERNEL(vantrel::lattice::STLtriclinic);
