// sin(θ)/λ by lattice system (library/lattice/sin_theta_over_lambda.cpp; the last four through the
// reciprocal cell of library/lattice/reciprocal_cell.cpp).
// Where the expected values come from: one finite case of each function is the
// example docs/functions.md gives for it, and STLcubic's negative edge the
// value it quotes; reflections along an axis can be checked by hand (h/(2·a),
// 1/(3·√3), 1/(2·0.0069) …); cells with right angles agree with the
// orthorhombic closed form to rounding, their last bits as committed with the
// functions; the NaN cases try the guards and NaN arguments that reference
// lists. The tests hold all of them to the bit natively (edge_cases_test.cpp)
// and the DLL within tests/accuracy/table.csv.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> SinThetaOverLambdaCases() {
    return {
        // Closed forms.
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
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 90, 90, 90}, 0.34369317712171993},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 60, 60, 60}, 0.26634094690828397},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 120, 120, 120}, kQNaN},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 100, 100, 170}, kQNaN},
        {"STLtriclinic", {1, 2, 3, 4, 5, 6, 90, kQNaN, 90}, kQNaN},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 100}, 0.3629661755730673},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 90}, 0.3436931771216974},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 0}, kQNaN},
        {"STLmonoclinicB", {1, 2, 3, 4, 5, 6, 180}, kQNaN},
        {"STLmonoclinicC", {1, 2, 3, 4, 5, 6, 100}, 0.3588966476017101},
        {"STLmonoclinicC", {1, 2, 3, 0, 5, 6, 100}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 5, 90}, 0.1},
        {"STLrhombohedral", {1, 1, 1, 5, 60}, 0.1224744871391625},
        {"STLrhombohedral", {1, 0, 0, 1, 120}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 5, 0}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, -5, 90}, 0.1},
        // The determinant limit is absolute: a cube of edge 0.0068 is refused.
        {"STLrhombohedral", {1, 0, 0, 0.0068, 90}, kQNaN},
        {"STLrhombohedral", {1, 0, 0, 0.0069, 90}, 72.46376811594203},
    };
}

}  // namespace vantrel::testing
