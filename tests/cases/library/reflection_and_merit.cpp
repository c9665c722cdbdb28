// Where a reflection is seen (library/lattice/reflection_angles.cpp) and what a
// polariser is worth (library/helium3/figure_of_merit.cpp). The first case of
// each is its documented example; the others pin the edges of reach, the
// sign-insensitive deviations, the rescaled quotients and every NaN
// condition. reflection_and_merit_test.cpp checks the deviations against a
// numerical propagation.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> ReflectionAndMeritCases() {
    constexpr double s111 = 0.17320508075688773;  // STLcubic(1, 1, 1, 5)
    return {
        {"LatticeSpacing", {s111}, 2.8867513459481287},
        {"LatticeSpacing", {0.25}, 2.0},
        {"LatticeSpacing", {kInf}, 0.0},
        {"LatticeSpacing", {0.0}, kQNaN},
        {"LatticeSpacing", {-0.0}, kQNaN},
        {"LatticeSpacing", {-0.1}, kQNaN},

        {"LatticeSpacingSDev", {s111, 0.001}, 0.016666666666666666},
        {"LatticeSpacingSDev", {0.25, -0.001}, 0.008},
        {"LatticeSpacingSDev", {1e-200, 1e-202}, 5e197},  // s² would underflow
        {"LatticeSpacingSDev", {0.0, 0.001}, kQNaN},

        {"TwoTheta", {s111, 0.84}, 16.731572722782122},
        {"TwoTheta", {0.0, 0.84}, 0.0},
        {"TwoTheta", {0.5, 2.0}, 179.99999999998815},  // backscattering, through the library's π
        {"TwoTheta", {0.6, 2.0}, kQNaN},
        {"TwoTheta", {-0.1, 1.0}, kQNaN},
        {"TwoTheta", {0.1, 0.0}, kQNaN},

        {"TwoThetaSDev", {s111, 0.84, 0.001, 0.005}, 0.13973962455846686},
        {"TwoThetaSDev", {s111, 0.84, -0.001, -0.005}, 0.13973962455846686},
        {"TwoThetaSDev", {0.5, 2.0, 0.001, 0.0}, kInf},
        {"TwoThetaSDev", {0.5, 2.0, 0.0, 0.0}, 0.0},
        {"TwoThetaSDev", {0.6, 2.0, 0.001, 0.005}, kQNaN},
        {"TwoThetaSDev", {s111, -0.84, 0.001, 0.005}, kQNaN},

        {"He3FigureOfMerit", {0.7, 0.35}, 0.17149999999999996},
        {"He3FigureOfMerit", {-0.7, 0.35}, 0.17149999999999996},
        {"He3FigureOfMerit", {1.0, 1.0}, 1.0},
        {"He3FigureOfMerit", {1.1, 0.35}, kQNaN},
        {"He3FigureOfMerit", {0.7, 1.2}, kQNaN},
        {"He3FigureOfMerit", {0.7, -0.1}, kQNaN},

        {"He3FigureOfMeritSDev", {0.7, 0.35, 0.01, 0.005}, 0.005478366544874484},
        {"He3FigureOfMeritSDev", {-0.7, 0.35, -0.01, -0.005}, 0.005478366544874484},
        {"He3FigureOfMeritSDev", {0.0, 0.35, 0.01, 0.005}, 0.0},
        {"He3FigureOfMeritSDev", {0.7, 1.2, 0.01, 0.005}, kQNaN},
    };
}

}  // namespace vantrel::testing
