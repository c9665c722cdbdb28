// Lattice geometry: the reciprocal cell's documented values and refusals, and
// on random realistic cells G·G* = I, sin(θ)/λ against an independent
// inversion of the metric, and the general function on special cells.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "support/propagation.h"
#include "vantrel/lattice/reciprocal_cell.h"

namespace vantrel::testing {
namespace {

using lattice::kWrongLatticeError;
using lattice::ReciprocalCell;
using lattice::ReciprocalParameters;
using vantrel::kDegToRad;
using vantrel::kRadToDeg;
using Matrix = std::array<std::array<double, 3>, 3>;

struct Cell {
    double a, b, c, alpha, beta, gamma;
};

TEST(LatticeConstants, RestOnTheTwelveDigitPi) {
    EXPECT_EQ(kDegToRad, 3.14159265359 / 180);
    EXPECT_EQ(kRadToDeg, 180 / 3.14159265359);
    EXPECT_EQ(lattice::kSingularMetricLimit, 1e-13);
    EXPECT_EQ(std::cos(90 * kDegToRad), -1.0341155355510722e-13);
}

TEST(ReciprocalCell, DocumentedCellsAreExact) {
    const struct {
        Cell cell;
        ReciprocalParameters expected;
    } cases[] = {
        {{5, 5, 5, 90, 90, 90},
         {0.2, 0.2, 0.2, 89.99999999998816, 89.99999999998816, 89.99999999998816}},
        {{-5, -5, -5, 90, 90, 90},
         {0.2, 0.2, 0.2, 89.99999999998816, 89.99999999998816, 89.99999999998816}},
        {{4, 5, 6, 90, 100, 90},
         {0.2538566529714414, 0.2, 0.1692377686476276, 89.99999999998704, 79.99999999998816,
          89.99999999998704}},
        {{4, 5, 6, 80, 95, 100},
         {0.25429625600190664, 0.20578926694987848, 0.16953083733459826, 99.29826335394623,
          86.63053794671015, 80.70173664602919}},
        {{0.0069, 0.0069, 0.0069, 90, 90, 90},
         {144.92753623188406, 144.92753623188406, 144.92753623188406, 89.99999999998816,
          89.99999999998816, 89.99999999998816}},
    };
    for (const auto& [cell, expected] : cases) {
        ReciprocalParameters r{};
        ASSERT_EQ(ReciprocalCell(cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma, r), 0)
            << cell.a;
        const double got[] = {r.aStar, r.bStar, r.cStar, r.alphaStar, r.betaStar, r.gammaStar};
        const double want[] = {expected.aStar,     expected.bStar,    expected.cStar,
                               expected.alphaStar, expected.betaStar, expected.gammaStar};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i]))
                << "cell " << cell.a << " " << cell.alpha << ", output " << i << ": " << got[i];
        }
    }
}

TEST(ReciprocalCell, RefusesSingularCellsWithoutWriting) {
    const Cell refused[] = {
        {1, 1, 1, 120, 120, 120},              // flat, D slightly negative
        {1, 1, 1, 0, 0, 0},                    // D = 0
        {4, 5, 6, 100, 100, 170},              // cannot close
        {0, 5, 6, 90, 90, 90},                 // zero edge
        {0.0068, 0.0068, 0.0068, 90, 90, 90},  // sound but below the absolute limit
    };
    for (const Cell& cell : refused) {
        ReciprocalParameters r{1, 2, 3, 4, 5, 6};
        EXPECT_EQ(ReciprocalCell(cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma, r),
                  kWrongLatticeError);
        EXPECT_EQ(r.aStar, 1);
        EXPECT_EQ(r.bStar, 2);
        EXPECT_EQ(r.cStar, 3);
        EXPECT_EQ(r.alphaStar, 4);
        EXPECT_EQ(r.betaStar, 5);
        EXPECT_EQ(r.gammaStar, 6);
    }
}

TEST(ReciprocalCell, AcceptsNaNAndPassesItOn) {
    ReciprocalParameters r{};
    EXPECT_EQ(ReciprocalCell(5, 5, 5, std::nan(""), 90, 90, r), 0);
    EXPECT_TRUE(std::isnan(r.aStar) && std::isnan(r.betaStar) && std::isnan(r.gammaStar));
}

// The metric of a direct cell, with the module's degree factor so that right
// angles match; the reciprocal metric rebuilt from the six reciprocal values.
Matrix Metric(double a, double b, double c, double alpha, double beta, double gamma) {
    const double ab = a * b * std::cos(gamma * kDegToRad);
    const double ac = a * c * std::cos(beta * kDegToRad);
    const double bc = b * c * std::cos(alpha * kDegToRad);
    return {{{a * a, ab, ac}, {ab, b * b, bc}, {ac, bc, c * c}}};
}

Matrix Metric(const Cell& x) { return Metric(x.a, x.b, x.c, x.alpha, x.beta, x.gamma); }

// Gauss–Jordan with partial pivoting: a different route from the cofactors.
Matrix Inverse(Matrix m) {
    Matrix inv{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row) {
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) pivot = row;
        }
        std::swap(m[col], m[pivot]);
        std::swap(inv[col], inv[pivot]);
        const double p = m[col][col];
        for (int j = 0; j < 3; ++j) {
            m[col][j] /= p;
            inv[col][j] /= p;
        }
        for (int row = 0; row < 3; ++row) {
            if (row == col) continue;
            const double f = m[row][col];
            for (int j = 0; j < 3; ++j) {
                m[row][j] -= f * m[col][j];
                inv[row][j] -= f * inv[col][j];
            }
        }
    }
    return inv;
}

// ½·√(hᵀ G⁻¹ h).
double HalfReciprocalLength(const Matrix& g, double h, double k, double l) {
    const Matrix gi = Inverse(g);
    const double v[] = {h, k, l};
    double q = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) q += v[i] * gi[i][j] * v[j];
    }
    return 0.5 * std::sqrt(q);
}

// Edges of real crystals; angles that keep the cell well away from flat.
Cell RandomTriclinic(Inputs& in) {
    for (;;) {
        const Cell x{in.Uniform(2, 30),   in.Uniform(2, 30),   in.Uniform(2, 30),
                     in.Uniform(60, 120), in.Uniform(60, 120), in.Uniform(60, 120)};
        const Matrix g = Metric(x);
        const double det = g[0][0] * (g[1][1] * g[2][2] - g[1][2] * g[2][1]) -
                           g[0][1] * (g[1][0] * g[2][2] - g[1][2] * g[2][0]) +
                           g[0][2] * (g[1][0] * g[2][1] - g[1][1] * g[2][0]);
        if (det > 0.1 * (g[0][0] * g[1][1] * g[2][2])) return x;
    }
}

TEST(ReciprocalCell, ReciprocalMetricInvertsTheDirectOne) {
    Inputs in;
    for (int n = 0; n < 2000; ++n) {
        const Cell x = RandomTriclinic(in);
        ReciprocalParameters r{};
        ASSERT_EQ(ReciprocalCell(x.a, x.b, x.c, x.alpha, x.beta, x.gamma, r), 0);
        const Matrix g = Metric(x);
        const Matrix gStar =
            Metric(r.aStar, r.bStar, r.cStar, r.alphaStar, r.betaStar, r.gammaStar);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                double p = 0.0;
                for (int k = 0; k < 3; ++k) p += g[i][k] * gStar[k][j];
                EXPECT_NEAR(p, i == j ? 1.0 : 0.0, 1e-12)
                    << x.a << " " << x.b << " " << x.c << " " << x.alpha << " " << x.beta << " "
                    << x.gamma;
            }
        }
    }
}

struct Reflection {
    double h, k, l;
};

Reflection RandomReflection(Inputs& in) {
    for (;;) {
        const Reflection r{std::round(in.Uniform(-6.5, 6.5)), std::round(in.Uniform(-6.5, 6.5)),
                           std::round(in.Uniform(-6.5, 6.5))};
        if (r.h != 0 || r.k != 0 || r.l != 0) return r;
    }
}

TEST(SinThetaOverLambda, EverySettingAgreesWithTheInverseMetric) {
    Inputs in;
    for (int n = 0; n < 1000; ++n) {
        const auto [h, k, l] = RandomReflection(in);
        const Cell t = RandomTriclinic(in);
        const double a = t.a, b = t.b, c = t.c;
        const double beta = in.Uniform(90, 130), gamma = in.Uniform(60, 120),
                     alpha = in.Uniform(30, 110);
        const struct {
            const char* name;
            std::vector<double> args;
            Cell cell;
        } settings[] = {
            {"STLcubic", {h, k, l, a}, {a, a, a, 90, 90, 90}},
            {"STLhexagonal", {h, k, l, a, c}, {a, a, c, 90, 90, 120}},
            {"STLrhombohedral", {h, k, l, a, alpha}, {a, a, a, alpha, alpha, alpha}},
            {"STLtetragonal", {h, k, l, a, c}, {a, a, c, 90, 90, 90}},
            {"STLorthorhombic", {h, k, l, a, b, c}, {a, b, c, 90, 90, 90}},
            {"STLmonoclinicB", {h, k, l, a, b, c, beta}, {a, b, c, 90, beta, 90}},
            {"STLmonoclinicC", {h, k, l, a, b, c, gamma}, {a, b, c, 90, 90, gamma}},
            {"STLtriclinic", {h, k, l, a, b, c, t.alpha, t.beta, t.gamma}, t},
        };
        for (const auto& s : settings) {
            const double expected = HalfReciprocalLength(Metric(s.cell), h, k, l);
            EXPECT_LT(RelativeDifference(ByName(s.name)(s.args), expected), 1e-10)
                << s.name << " (" << h << " " << k << " " << l << ")";
        }
    }
}

TEST(SinThetaOverLambda, TriclinicAgreesOnSpecialCells) {
    Inputs in;
    const auto triclinic = ByName("STLtriclinic");
    for (int n = 0; n < 1000; ++n) {
        const auto [h, k, l] = RandomReflection(in);
        const double a = in.Uniform(2, 30), b = in.Uniform(2, 30), c = in.Uniform(2, 30);
        const double beta = in.Uniform(60, 150), gamma = in.Uniform(60, 150),
                     alpha = in.Uniform(20, 115);
        const struct {
            const char* name;
            std::vector<double> args;
            std::vector<double> general;
        } pairs[] = {
            {"STLorthorhombic", {h, k, l, a, b, c}, {h, k, l, a, b, c, 90, 90, 90}},
            {"STLmonoclinicB", {h, k, l, a, b, c, beta}, {h, k, l, a, b, c, 90, beta, 90}},
            {"STLmonoclinicC", {h, k, l, a, b, c, gamma}, {h, k, l, a, b, c, 90, 90, gamma}},
            {"STLrhombohedral", {h, k, l, a, alpha}, {h, k, l, a, a, a, alpha, alpha, alpha}},
            {"STLhexagonal", {h, k, l, a, c}, {h, k, l, a, a, c, 90, 90, 120}},
        };
        for (const auto& p : pairs) {
            EXPECT_LT(RelativeDifference(ByName(p.name)(p.args), triclinic(p.general)), 1e-11)
                << p.name << " (" << h << " " << k << " " << l << ")";
        }
    }
}

}  // namespace
}  // namespace vantrel::testing
