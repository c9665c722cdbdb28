// Helium-3 cell: the standard deviations against their quotient forms and
// against a numerical propagation of the value functions, the polarisation
// range tests in their order, and the cell model read in both directions.
#include "vantrel/helium3/helium3.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>

#include "helium3/constants.h"
#include "support/edge_cases.h"
#include "support/propagation.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::helium3;

const double kC = kCrossSection / kReferenceWavelength;
const double kSigmaC = std::sqrt(kAbsorptionVariance);  // of c = σ₀/λ₀
const double kCrossTerm = kAbsorptionVariance / kAbsorptionSquared;

double Sq(double x) { return x * x; }

// A realistic cell (opacity about 0.15 to 4.5) with relative errors between
// 0.1 % and 10 %. Far more opaque cells saturate tanh, and central differences
// then lose the derivative to rounding.
struct Cell {
    double p, T, L, lambda, P;
    double sp, sT, sL, sLambda, sP;

    static Cell Draw(Inputs& in) {
        Cell c{in.Uniform(0.5, 1.5),
               in.Uniform(270, 320),
               in.Uniform(5, 12),
               in.Uniform(0.8, 3),
               in.Uniform(0.3, 0.85),
               0,
               0,
               0,
               0,
               0};
        c.sp = c.p * in.LogUniform(1e-3, 0.1);
        c.sT = c.T * in.LogUniform(1e-3, 0.1);
        c.sL = c.L * in.LogUniform(1e-3, 0.1);
        c.sLambda = c.lambda * in.LogUniform(1e-3, 0.1);
        c.sP = c.P * in.LogUniform(1e-3, 0.1);
        return c;
    }
    double Opacity() const { return CellOpacity(p, T, L, lambda); }
    // Σ: the relative variance of O, the cross-section constant included.
    double Sigma() const {
        return Sq(sp / p) + Sq(sT / T) + Sq(sL / L) + Sq(sLambda / lambda) + kCrossTerm;
    }
};

// O with the cross-section constant c = σ₀/λ₀ as an input of its own, so that a
// numerical propagation can carry its variance k₂ like any other.
double Opacity(std::span<const double> x, double c) {
    return (((x[0] * kAvogadro) / (x[1] * kGasConstant)) * x[2]) * c * x[3];
}

double Efficiency(std::span<const double> x) { return std::tanh(Opacity(x, x[5]) * x[4]); }
double Transmission(std::span<const double> x) {
    const double O = Opacity(x, x[5]);
    return std::cosh(O * x[4]) * std::exp(-O);
}
// x = {p, T, L, λ, P_r, P_m, c}
double Polarisation(std::span<const double> x) {
    const double O = Opacity(x, x[6]);
    return (x[4] == 0.0 ? std::atanh(x[5]) : std::atanh(x[5] / x[4])) / O;
}

TEST(Helium3, OpacityOfTheReferenceCell) {
    EXPECT_EQ(CellOpacity(1, 293, 10, 2), 1.4835085927454945);
}

TEST(Helium3, TestSideValuesMatchTheCatalogue) {
    Inputs in(5);
    for (int i = 0; i < 200; ++i) {
        const Cell c = Cell::Draw(in);
        const double Pr = in.Uniform(0.8, 1), Pm = Pr * in.Uniform(0, 0.95);
        const std::array cell{c.p, c.T, c.L, c.lambda, c.P, kC};
        const std::array pol{c.p, c.T, c.L, c.lambda, Pr, Pm, kC};
        EXPECT_LT(RelativeDifference(Efficiency(cell), He3Efficiency(c.p, c.T, c.L, c.lambda, c.P)),
                  1e-14);
        EXPECT_LT(
            RelativeDifference(Transmission(cell), He3Transmission(c.p, c.T, c.L, c.lambda, c.P)),
            1e-14);
        EXPECT_LT(
            RelativeDifference(Polarisation(pol), He3Polarisation(c.p, c.T, c.L, c.lambda, Pr, Pm)),
            1e-13);
    }
}

TEST(Helium3, StandardDeviationsAgreeWithTheirQuotientForms) {
    Inputs in;
    for (int i = 0; i < 1000; ++i) {
        const Cell c = Cell::Draw(in);
        const double O = c.Opacity(), x = O * c.P, S = c.Sigma();

        const double efficiency = (x / Sq(std::cosh(x))) * std::sqrt(S + Sq(c.sP / c.P));
        EXPECT_LT(RelativeDifference(He3EfficiencySDev(c.p, c.T, c.L, c.lambda, c.P, c.sp, c.sT,
                                                       c.sL, c.sLambda, c.sP),
                                     efficiency),
                  1e-9);

        const double transmission =
            std::exp(-O) * O *
            std::sqrt(Sq(c.P * std::sinh(x) - std::cosh(x)) * S + Sq(std::sinh(x)) * Sq(c.sP));
        EXPECT_LT(RelativeDifference(He3TransmissionSDev(c.p, c.T, c.L, c.lambda, c.P, c.sp, c.sT,
                                                         c.sL, c.sLambda, c.sP),
                                     transmission),
                  1e-9);

        // No reference: σ_Pr plays no part.
        const double Pm0 = in.Uniform(-0.97, 0.97), sPm = in.LogUniform(1e-4, 0.03);
        const double noReference =
            std::sqrt(Sq(std::atanh(Pm0)) * S + Sq(sPm) / Sq(1 - Pm0 * Pm0)) / O;
        EXPECT_LT(RelativeDifference(He3PolarisationSDev(c.p, c.T, c.L, c.lambda, 0.0, Pm0, c.sp,
                                                         c.sT, c.sL, c.sLambda, 0.5, sPm),
                                     noReference),
                  1e-9)
            << Pm0;

        const double Pr = in.Uniform(0.5, 1), Pm = Pr * in.Uniform(0, 0.97),
                     sPr = in.LogUniform(1e-4, 0.03);
        const double B = std::log(2 * Pm / (Pr - Pm) + 1);
        const double reference =
            std::sqrt(Sq(B) * S + 4 * (Sq(Pm * sPr) + Sq(Pr * sPm)) / Sq(Pr * Pr - Pm * Pm)) /
            (2 * O);
        EXPECT_LT(RelativeDifference(He3PolarisationSDev(c.p, c.T, c.L, c.lambda, Pr, Pm, c.sp,
                                                         c.sT, c.sL, c.sLambda, sPr, sPm),
                                     reference),
                  1e-9)
            << Pr << " " << Pm;

        // Counts of a cell with this efficiency: n₁/n₂ = T_u·cosh x, n₃/n₄ = T_u.
        const double Tu = std::exp(-O), n2 = in.LogUniform(1e3, 1e6), n4 = in.LogUniform(1e3, 1e6);
        const double n1 = Tu * std::cosh(x) * n2, n3 = Tu * n4;
        const double r = (n2 * n3) / (n1 * n4);
        const double counts =
            (r * r / std::sqrt(1 - r * r)) * std::sqrt(1 / n1 + 1 / n2 + 1 / n3 + 1 / n4);
        EXPECT_LT(RelativeDifference(He3Efficiency2SDev(n1, n2, n3, n4), counts), 1e-9);
    }
}

// Propagation through the test-side value functions, whose sixth (seventh)
// input is the cross-section constant with standard deviation √k₂.
TEST(Helium3, StandardDeviationsAgreeWithPropagation) {
    Inputs in(77);
    const auto efficiency2 = ByName("He3Efficiency2");
    for (int i = 0; i < 500; ++i) {
        const Cell c = Cell::Draw(in);
        const std::array x{c.p, c.T, c.L, c.lambda, c.P, kC};
        const std::array s{c.sp, c.sT, c.sL, c.sLambda, c.sP, kSigmaC};
        EXPECT_LT(RelativeDifference(He3EfficiencySDev(c.p, c.T, c.L, c.lambda, c.P, c.sp, c.sT,
                                                       c.sL, c.sLambda, c.sP),
                                     PropagatedSDev(Efficiency, x, s)),
                  1e-6);
        EXPECT_LT(RelativeDifference(He3TransmissionSDev(c.p, c.T, c.L, c.lambda, c.P, c.sp, c.sT,
                                                         c.sL, c.sLambda, c.sP),
                                     PropagatedSDev(Transmission, x, s)),
                  1e-6);

        const double Pr = in.Uniform(0.5, 1), Pm = Pr * in.Uniform(0.01, 0.97);
        const double sPr = in.LogUniform(1e-4, 0.03), sPm = in.LogUniform(1e-4, 0.03);
        const std::array withReference{c.p, c.T, c.L, c.lambda, Pr, Pm, kC};
        const std::array sigmas{c.sp, c.sT, c.sL, c.sLambda, sPr, sPm, kSigmaC};
        EXPECT_LT(RelativeDifference(He3PolarisationSDev(c.p, c.T, c.L, c.lambda, Pr, Pm, c.sp,
                                                         c.sT, c.sL, c.sLambda, sPr, sPm),
                                     PropagatedSDev(Polarisation, withReference, sigmas)),
                  1e-6);
        const double Pm0 = in.Uniform(-0.97, 0.97);
        const std::array noReference{c.p, c.T, c.L, c.lambda, 0.0, Pm0, kC};
        const std::array sigmasNoReference{c.sp, c.sT, c.sL, c.sLambda, 0.0, sPm, kSigmaC};
        EXPECT_LT(RelativeDifference(He3PolarisationSDev(c.p, c.T, c.L, c.lambda, 0.0, Pm0, c.sp,
                                                         c.sT, c.sL, c.sLambda, sPr, sPm),
                                     PropagatedSDev(Polarisation, noReference, sigmasNoReference)),
                  1e-6);

        // The counts are Poisson; the catalogue's own value function is propagated.
        const double O = c.Opacity(), n2 = in.LogUniform(1e3, 1e6), n4 = in.LogUniform(1e3, 1e6);
        const std::array n{std::exp(-O) * std::cosh(O * c.P) * n2, n2, std::exp(-O) * n4, n4};
        const std::array sn{std::sqrt(n[0]), std::sqrt(n[1]), std::sqrt(n[2]), std::sqrt(n[3])};
        EXPECT_LT(RelativeDifference(He3Efficiency2SDev(n[0], n[1], n[2], n[3]),
                                     PropagatedSDev(efficiency2, n, sn)),
                  1e-6);
    }
}

// What each of the two polarisation functions gives for (P_r, P_m) on the
// reference cell. The order: P_r range, then P_r = 0 with no test of P_m, then
// the tests of P_m.
enum class Outcome { kNaN, kFinite, kPlusInfinity, kMinusInfinity };

TEST(Helium3, PolarisationRangeTestsInTheirOrder) {
    struct Case {
        double Pr, Pm;
        Outcome value, sdev;
    };
    const double above1 = std::nextafter(1.0, 2.0);
    const Case cases[] = {
        // P_r outside [0, 1]: rejected although P_m alone would pass (≤ 1, ≤ P_r).
        {1.5, 0.5, Outcome::kNaN, Outcome::kNaN},
        {above1, 0.5, Outcome::kNaN, Outcome::kNaN},
        {-0.1, 0.5, Outcome::kNaN, Outcome::kNaN},
        // P_r = 0 of either sign: P_m untested, so P_m > P_r and P_m < 0 go through.
        {0.0, 0.5, Outcome::kFinite, Outcome::kFinite},
        {-0.0, 0.5, Outcome::kFinite, Outcome::kFinite},
        {0.0, -0.5, Outcome::kFinite, Outcome::kFinite},
        {0.0, 1.0, Outcome::kPlusInfinity, Outcome::kNaN},
        {0.0, 1.5, Outcome::kNaN, Outcome::kNaN},
        // With a reference, P_m in [0, P_r].
        {0.9, -0.1, Outcome::kNaN, Outcome::kNaN},
        {0.9, 0.95, Outcome::kNaN, Outcome::kNaN},
        {1.0, above1, Outcome::kNaN, Outcome::kNaN},
        {0.9, 0.9, Outcome::kPlusInfinity, Outcome::kPlusInfinity},
        {1.0, 1.0, Outcome::kPlusInfinity, Outcome::kPlusInfinity},
        {1.0, 0.0, Outcome::kFinite, Outcome::kFinite},
        {0.9, -0.0, Outcome::kFinite, Outcome::kFinite},
        // NaN passes every test and reaches the arithmetic.
        {kQNaN, 0.5, Outcome::kNaN, Outcome::kNaN},
        {0.9, kQNaN, Outcome::kNaN, Outcome::kNaN},
    };
    const auto classify = [](double v) {
        if (std::isnan(v)) return Outcome::kNaN;
        if (std::isfinite(v)) return Outcome::kFinite;
        return v > 0 ? Outcome::kPlusInfinity : Outcome::kMinusInfinity;
    };
    for (const Case& c : cases) {
        const double value = He3Polarisation(1, 293, 10, 2, c.Pr, c.Pm);
        const double sdev =
            He3PolarisationSDev(1, 293, 10, 2, c.Pr, c.Pm, 0.01, 1, 0.1, 0.02, 0.01, 0.01);
        EXPECT_EQ(classify(value), c.value) << c.Pr << " " << c.Pm << " -> " << value;
        EXPECT_EQ(classify(sdev), c.sdev) << c.Pr << " " << c.Pm << " -> " << sdev;
    }
    // Both zeros of P_r select the same branch, and there σ_Pr is not read.
    EXPECT_EQ(He3Polarisation(1, 293, 10, 2, -0.0, -0.5),
              He3Polarisation(1, 293, 10, 2, 0.0, -0.5));
    EXPECT_EQ(He3PolarisationSDev(1, 293, 10, 2, -0.0, 0.5, 0.01, 1, 0.1, 0.02, 0.3, 0.01),
              He3PolarisationSDev(1, 293, 10, 2, 0.0, 0.5, 0.01, 1, 0.1, 0.02, 0.0, 0.01));
}

// Efficiency, transmission and polarisation describe one cell: the efficiency
// from the transmissions and the helium-3 polarisation from the efficiency give
// back what went in.
TEST(Helium3, CellModelReadsBothWays) {
    Inputs in(11);
    for (int i = 0; i < 500; ++i) {
        const Cell c = Cell::Draw(in);
        const double efficiency = He3Efficiency(c.p, c.T, c.L, c.lambda, c.P);
        const double polarised = He3Transmission(c.p, c.T, c.L, c.lambda, c.P);
        const double unpolarised = He3Transmission(c.p, c.T, c.L, c.lambda, 0.0);
        EXPECT_LT(RelativeDifference(He3Efficiency2(polarised, 1, unpolarised, 1), efficiency),
                  1e-12);
        EXPECT_LT(
            RelativeDifference(He3Polarisation(c.p, c.T, c.L, c.lambda, 0.0, efficiency), c.P),
            1e-12);
        const double Pr = in.Uniform(0.5, 1);
        EXPECT_LT(
            RelativeDifference(He3Polarisation(c.p, c.T, c.L, c.lambda, Pr, Pr * efficiency), c.P),
            1e-12);
    }
}

}  // namespace
}  // namespace vantrel::testing
