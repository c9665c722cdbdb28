#include "support/edge_cases.h"

namespace vantrel::testing {

// Functions that reach pow (exponent ≥ 3), exp, cos or atan: the Gaussian
// model and the four reciprocal-cell routes.
constexpr int kLibm = 4;

std::vector<EdgeCase> PeakAndLatticeCases() {
    return {
        // Peak centring: (120, 80) at 10 and (70, 130) at 10.4, then reversed.
        {"PeakCentringLin", {10, 120, 80, 10.4, 70, 130}, 10.16},
        {"PeakCentringLin", {10.4, 70, 130, 10, 120, 80}, 10.16},
        {"PeakCentringGauss", {10, 120, 80, 10.4, 70, 130}, 10.158672276141123, kLibm},
        {"PeakCentringGauss", {10.4, 70, 130, 10, 120, 80}, 10.158672276141123, kLibm},
        {"PeakCentringLinSDev", {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10}, 0.041424630354416},
        {"PeakCentringLinSDev", {10.4, 70, 130, 10, 120, 80, 0.01, 10, 10, 10, 10}, 0.041424630354416},
        {"PeakCentringGaussSDev", {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10}, 0.04368830972620394, kLibm},
        {"PeakCentringGaussSDev", {10.4, 70, 130, 10, 120, 80, 0.01, 10, 10, 10, 10}, 0.04368830972620394, kLibm},
        {"PeakCentringLinSDev", {10, 120, 80, 10.4, 70, 130, 0.01, 0, 0, 0, 0}, 0.007211102550927979},
        {"PeakCentringGaussSDev", {10, 120, 80, 10.4, 70, 130, 0.01, 0, 0, 0, 0}, 0.007220455383782546, kLibm},
        // Mirror images: exactly the midpoint linearly; the even residue of the
        // polynomial shifts the Gaussian centre.
        {"PeakCentringLin", {10, 150, 50, 11, 50, 150}, 10.5},
        {"PeakCentringGauss", {10, 150, 50, 11, 50, 150}, 10.50000000000037, kLibm},
        // Equal differences, equal asymmetries, no counts at x₁.
        {"PeakCentringLin", {10, 120, 80, 11, 90, 50}, kQNaN},
        {"PeakCentringLinSDev", {10, 120, 80, 11, 90, 50, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGauss", {10, 120, 80, 11, 60, 40}, kQNaN},
        {"PeakCentringGaussSDev", {10, 120, 80, 11, 60, 40, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGauss", {10, 0, 0, 11, 50, 150}, kQNaN},
        {"PeakCentringGauss", {10, 0, -0.0, 11, 50, 150}, kQNaN},
        {"PeakCentringGauss", {10, 120, 80, 11, 0, 0}, kQNaN},
        {"PeakCentringGaussSDev", {10, 0, 0, 11, 50, 150, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGaussSDev", {10, 120, 80, 11, -0.0, 0, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringLin", {10, 0, 0, 11, 50, 150}, 10.0},
        {"PeakCentringLin", {kQNaN, 120, 80, 10.4, 70, 130}, kQNaN},
        {"PeakCentringGauss", {10, kQNaN, 80, 10.4, 70, 130}, kQNaN},

        // sin(θ)/λ, closed forms: exact everywhere.
        {"STLcubic", {1, 1, 1, 5}, 0.17320508075688773},
        {"STLcubic", {2, 0, 0, 4}, 0.25},
        {"STLcubic", {0, 0, 0, 5}, 0.0},
        {"STLcubic", {1, 1, 1, 0}, kQNaN},
        {"STLcubic", {1, 1, 1, -0.0}, kQNaN},
        {"STLcubic", {1, 1, 1, -5}, -0.17320508075688773},
        {"STLhexagonal", {1, 0, 0, 3, 5}, 0.19245008972987526},
        {"STLhexagonal", {1, 1, 2, 3, 5}, 0.38873012632302},
        {"STLhexagonal", {0, 0, 1, 3, 5}, 0.1},
        {"STLhexagonal", {1, 0, 0, 3, 0}, kQNaN},
        {"STLhexagonal", {1, 0, 0, 0, 5}, kQNaN},
        {"STLtetragonal", {1, 1, 1, 4, 6}, 0.19543398999264291},
        {"STLtetragonal", {0, 0, 1, 4, 6}, 0.08333333333333333},
        {"STLtetragonal", {1, 1, 1, 0, 6}, kQNaN},
        {"STLtetragonal", {1, 1, 1, 4, 0}, kQNaN},
        {"STLorthorhombic", {1, 2, 3, 4, 5, 6}, 0.343693177121688},
        {"STLorthorhombic", {1, 2, 3, 0, 5, 6}, kQNaN},
        {"STLorthorhombic", {1, 2, 3, 4, 0, 6}, kQNaN},
        {"STLorthorhombic", {1, 2, 3, 4, 5, 0}, kQNaN},
        {"STLorthorhombic", {1, 2, 3, 4, kQNaN, 6}, kQNaN},

        // Through the reciprocal cell.
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 90, 90, 90}, 0.34369317712171993, kLibm},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 60, 60, 60}, 0.26634094690828397, kLibm},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 120, 120, 120}, kQNaN},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 100, 100, 170}, kQNaN},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 90, kQNaN, 90}, kQNaN},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 100}, 0.3629661755730673, kLibm},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 90}, 0.3436931771216974, kLibm},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 0}, kQNaN},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 180}, kQNaN},
        {"STLmonoclinicC", {1, 2, 3, 4, 5, 6, 100}, 0.3588966476017101, kLibm},
        {"STLmonoclinicC", {1, 2, 3, 0, 5, 6, 100}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 5, 90}, 0.1, kLibm},
        {"STLrhombohedral", {1, 1, 1, 5, 60}, 0.1224744871391625, kLibm},
        {"STLrhombohedral", {1, 0, 0, 1, 120}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 5, 0}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, -5, 90}, 0.1, kLibm},
        // The determinant limit is absolute: a cube of edge 0.0068 is refused.
        {"STLrhombohedral", {1, 0, 0, 0.0068, 90}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 0.0069, 90}, 72.46376811594203, kLibm},
    };
}

}  // namespace vantrel::testing
