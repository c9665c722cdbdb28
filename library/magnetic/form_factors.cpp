#include "vantrel/magnetic/form_factors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "arithmetic/square.h"
#include "magnetic/closest_names.h"
#include "vantrel/nan.h"

namespace vantrel::magnetic {
namespace {

constexpr MagneticIon kIons[] = {
#include "magnetic/form_factor_table.inc"
};

double Expansion(const FormFactorCoefficients& k, double s2) noexcept {
    return k.A * std::exp(-k.a * s2) + k.B * std::exp(-k.b * s2) + k.C * std::exp(-k.c * s2) + k.D;
}

// Six digits: enough to recognise a value in a message.
std::string Number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", x);
    return text;
}

}  // namespace

std::span<const MagneticIon> MagneticIons() noexcept { return kIons; }

const MagneticIon* FindMagneticIon(std::string_view name) noexcept {
    const auto it = std::find_if(std::begin(kIons), std::end(kIons),
                                 [name](const MagneticIon& ion) { return ion.name == name; });
    return it == std::end(kIons) ? nullptr : &*it;
}

double J0(const MagneticIon& ion, double s) noexcept {
    if (!(s >= 0.0)) return kNaN;
    return Expansion(ion.j0, Square(s));
}

double J2(const MagneticIon& ion, double s) noexcept {
    if (!(s >= 0.0) || !ion.hasJ2) return kNaN;
    const double s2 = Square(s);
    return s2 * Expansion(ion.j2, s2);
}

double FormFactor::operator()(double s) const noexcept {
    const double x = s / kappa_;
    // Without ⟨j2⟩ only g = 2 is made, where its factor is 0.
    if (!ion_->hasJ2) return J0(*ion_, x);
    return J0(*ion_, x) + (2.0 / g_ - 1.0) * J2(*ion_, x);
}

void FormFactor::Evaluate(std::span<const double> s, std::span<double> f) const noexcept {
    const std::size_t n = std::min(s.size(), f.size());
    for (std::size_t i = 0; i < n; ++i) f[i] = (*this)(s[i]);
}

FormFactorOutcome MakeFormFactor(std::string_view name, double g, double kappa) {
    FormFactorOutcome outcome;
    const MagneticIon* ion = FindMagneticIon(name);
    if (ion == nullptr) {
        std::vector<std::string_view> names;
        for (const MagneticIon& known : kIons) names.push_back(known.name);
        outcome.suggestions = ClosestNames(name, names);
        outcome.error = "no magnetic form factor for the ion '" + std::string(name) + "'" +
                        DidYouMean(outcome.suggestions);
        return outcome;
    }
    if (!(std::isfinite(g) && g > 0.0)) {
        outcome.error = "the Landé factor g of " + std::string(name) +
                        " must be finite and positive, not " + Number(g);
        return outcome;
    }
    if (!(std::isfinite(kappa) && kappa > 0.0)) {
        outcome.error = "the expansion κ of " + std::string(name) +
                        " must be finite and positive, not " + Number(kappa);
        return outcome;
    }
    if (!ion->hasJ2 && g != 2.0) {
        outcome.error = "the form factor of " + std::string(name) +
                        " is tabulated with ⟨j0⟩ alone, which holds for g = 2 only; its ⟨j2⟩, "
                        "needed for g = " +
                        Number(g) + ", is not in the table";
        return outcome;
    }
    outcome.formFactor = FormFactor(*ion, g, kappa);
    return outcome;
}

}  // namespace vantrel::magnetic
