// The form factor table against ⟨j0⟩ and ⟨j2⟩ as python3-periodictable
// evaluates them (tests/magnetic/form_factor_values.csv, written by
// tools/form_factor_table.py), the dipole combination, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "vantrel/magnetic/form_factors.h"

namespace vantrel::magnetic {
namespace {

struct Value {
    std::string ion;
    double s, j0, j2;
};

std::vector<Value> PeriodictableValues() {
    std::ifstream file(VANTREL_FORM_FACTOR_VALUES);
    std::string line;
    std::getline(file, line);  // header
    std::vector<Value> values;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        Value v;
        std::string s, j0, j2;
        std::getline(fields, v.ion, ',');
        std::getline(fields, s, ',');
        std::getline(fields, j0, ',');
        std::getline(fields, j2, ',');
        v.s = std::stod(s), v.j0 = std::stod(j0), v.j2 = j2 == "nan" ? NAN : std::stod(j2);
        values.push_back(v);
    }
    return values;
}

TEST(FormFactors, TableAgreesWithPeriodictable) {
    const auto values = PeriodictableValues();
    ASSERT_GT(values.size(), 700u);
    std::set<std::string> inCsv, inTable;
    for (const Value& v : values) {
        inCsv.insert(v.ion);
        const MagneticIon* ion = FindMagneticIon(v.ion);
        ASSERT_NE(ion, nullptr) << v.ion;
        // periodictable squares q/4π, not s: a few units of the last place apart.
        EXPECT_NEAR(J0(*ion, v.s), v.j0, 1e-14) << v.ion << " " << v.s;
        if (std::isnan(v.j2)) {
            EXPECT_FALSE(ion->hasJ2) << v.ion;
            EXPECT_TRUE(std::isnan(J2(*ion, v.s))) << v.ion;
        } else {
            EXPECT_NEAR(J2(*ion, v.s), v.j2, 1e-14) << v.ion << " " << v.s;
        }
    }
    for (const MagneticIon& ion : MagneticIons()) inTable.insert(std::string(ion.name));
    EXPECT_EQ(inCsv, inTable);
    EXPECT_GE(inTable.size(), 90u);
}

// ⟨j0⟩(0) is the normalisation of the spin density: 1 to the table's four
// decimals, which a transposed coefficient would not keep.
TEST(FormFactors, NormalisedAtZero) {
    for (const MagneticIon& ion : MagneticIons()) {
        EXPECT_NEAR(J0(ion, 0), 1.0, 0.003) << ion.name;
        if (ion.hasJ2) {
            EXPECT_EQ(J2(ion, 0), 0.0) << ion.name;
        }
    }
}

TEST(FormFactors, DipoleCombinationAndExpansion) {
    const auto values = PeriodictableValues();
    struct Case {
        const char* ion;
        double g;
    };
    const Case cases[] = {{"Ho3+", 1.25}, {"Fe3+", 2.0}, {"U3+", 0.8}, {"Co2+", 1.4}};
    for (const Case& c : cases) {
        const auto outcome = MakeFormFactor(c.ion, c.g);
        ASSERT_TRUE(outcome.formFactor) << outcome.error;
        const auto shrunk = MakeFormFactor(c.ion, c.g, 0.5);
        ASSERT_TRUE(shrunk.formFactor) << shrunk.error;
        for (const Value& v : values) {
            if (v.ion != c.ion) continue;
            const double expected = v.j0 + (2 / c.g - 1) * v.j2;
            EXPECT_NEAR((*outcome.formFactor)(v.s), expected, 1e-14) << c.ion << " " << v.s;
            // κ = 1/2 spreads the same values over half the s.
            EXPECT_EQ((*shrunk.formFactor)(0.5 * v.s), (*outcome.formFactor)(v.s)) << c.ion;
        }
    }
    // Fe3+ is spin only and falls to half by s = 0.3 Å⁻¹.
    const auto iron = MakeFormFactor("Fe3+");
    EXPECT_NEAR((*iron.formFactor)(0.3), 0.4995, 1e-4);
    EXPECT_TRUE(std::isnan((*iron.formFactor)(-0.1)));
    EXPECT_TRUE(std::isnan((*iron.formFactor)(NAN)));
    const double s[] = {0, 0.3, -1};
    double f[3];
    iron.formFactor->Evaluate(s, f);
    EXPECT_EQ(f[1], (*iron.formFactor)(0.3));
    EXPECT_TRUE(std::isnan(f[2]));
}

TEST(FormFactors, RefusalsSayWhy) {
    struct Case {
        const char* ion;
        double g, kappa;
        const char* inError;
        const char* firstSuggestion;
    };
    const Case cases[] = {
        {"Fe5+", 2, 1, "no magnetic form factor for the ion 'Fe5+'", "Fe1+"},
        {"fe3+", 2, 1, "did you mean Fe3+", "Fe3+"},
        {"Ce3+", 2, 1, "'Ce3+'", "Ce2+"},
        {"Qq", 2, 1, "'Qq'", nullptr},
        {"Pr3+", 0.8, 1, "⟨j0⟩ alone, which holds for g = 2 only", nullptr},
        {"Ho3+", 0, 1, "g of Ho3+ must be finite and positive, not 0", nullptr},
        {"Ho3+", NAN, 1, "not nan", nullptr},
        {"Ho3+", 1.25, -1, "κ of Ho3+ must be finite and positive, not -1", nullptr},
        {"Ho3+", 1.25, INFINITY, "not inf", nullptr},
    };
    for (const Case& c : cases) {
        const auto outcome = MakeFormFactor(c.ion, c.g, c.kappa);
        EXPECT_FALSE(outcome.formFactor) << c.ion;
        EXPECT_NE(outcome.error.find(c.inError), std::string::npos) << outcome.error;
        if (c.firstSuggestion != nullptr) {
            ASSERT_FALSE(outcome.suggestions.empty()) << c.ion;
            EXPECT_EQ(outcome.suggestions.front(), c.firstSuggestion) << c.ion;
        } else {
            EXPECT_TRUE(outcome.suggestions.empty()) << c.ion;
        }
    }
    EXPECT_TRUE(MakeFormFactor("Pr3+").formFactor);
}

}  // namespace
}  // namespace vantrel::magnetic
