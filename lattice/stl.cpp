#include "vantrel/lattice/stl.h"

#include <cmath>

#include "core/column_loop.h"
#include "vantrel/nan.h"
#include "vantrel/lattice/reciprocal_cell.h"

namespace vantrel::lattice {
namespace {

double Square(double x) noexcept { return x * x; }

// 1/d² multiplied out over a common denominator E²: sin(θ)/λ = (√S / E)/2.
// Only E is guarded; a negative edge keeps its sign through E.
double ClosedForm(double E, double S) noexcept {
    if (E == 0.0) return kNaN;
    return (std::sqrt(S) / E) * 0.5;
}

double CosDegrees(double angle) noexcept { return std::cos(angle * kDegToRad); }

// Pieces of |h·a* + k·b* + l·c*|².
double Diagonal(const ReciprocalParameters& r, double h, double k, double l) noexcept {
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
    return std::sqrt(BetaTerm(r, l, h) + Diagonal(r, h, k, l)) * 0.5;
}

double STLmonoclinicC(double h, double k, double l, double a, double b, double c,
                      double gamma) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, b, c, 90.0, 90.0, gamma, r) != 0) return kNaN;
    return std::sqrt(GammaTerm(r, h, k) + Diagonal(r, h, k, l)) * 0.5;
}

double STLtriclinic(double h, double k, double l, double a, double b, double c, double alpha,
                    double beta, double gamma) noexcept {
    ReciprocalParameters r;
    if (ReciprocalCell(a, b, c, alpha, beta, gamma, r) != 0) return kNaN;
    const double gammaTerm = GammaTerm(r, h, k);
    const double q = Diagonal(r, h, k, l);
    const double alphaTerm = AlphaTerm(r, k, l);
    const double betaTerm = BetaTerm(r, l, h);
    return std::sqrt(((gammaTerm + q) + alphaTerm) + betaTerm) * 0.5;
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
