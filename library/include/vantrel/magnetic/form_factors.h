// Magnetic form factors in the dipole approximation,
//   f(s) = ⟨j0(s/κ)⟩ + (2/g − 1)·⟨j2(s/κ)⟩,
//   s      sin θ/λ, in Å⁻¹
//   g      the Landé factor (2: a spin-only moment)
//   kappa  the expansion of the magnetisation density (1: the free ion's)
// with ⟨j0⟩ and ⟨j2⟩ from the coefficients of the International Tables for
// Crystallography, Vol. C, §4.4.5. The factor of ⟨j2⟩ is the orbital share of
// the moment, μ_L/μ = (2 − g)/g: positive where the orbital moment adds to
// the spin's (g < 2, as in most rare earths). Tables that print (1 − 2/g)
// mean ⟨j2⟩ of the opposite sign; this table's ⟨j2⟩ is positive at small s
// and goes with (2/g − 1).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::magnetic {

// A, a, B, b, C, c, D of A·e^(−a·s²) + B·e^(−b·s²) + C·e^(−c·s²) + D.
struct FormFactorCoefficients {
    double A, a, B, b, C, c, D;
};

struct MagneticIon {
    std::string_view name;  // "Fe3+", "Ho3+", "Ni" (a neutral atom by its symbol alone)
    FormFactorCoefficients j0, j2;
    bool hasJ2;  // false for the few tabulated with ⟨j0⟩ alone (Pr3+)
};

// Every tabulated ion, by atomic number and then charge.
std::span<const MagneticIon> MagneticIons() noexcept;

// The ion of that exact name, or nullptr.
const MagneticIon* FindMagneticIon(std::string_view name) noexcept;

// ⟨j0⟩(s) and ⟨j2⟩(s) of an ion; NaN for s < 0 or NaN. ⟨j2⟩ is NaN for an
// ion without it.
double J0(const MagneticIon& ion, double s) noexcept;
double J2(const MagneticIon& ion, double s) noexcept;

struct FormFactorOutcome;

// The form factor of a named ion, or why there is none: an unknown name (with
// the closest tabulated names), g or κ not finite and positive, or g ≠ 2 for
// an ion tabulated without ⟨j2⟩.
FormFactorOutcome MakeFormFactor(std::string_view ion, double g = 2.0, double kappa = 1.0);

// The form factor of one ion with its g and κ, checked once, then evaluated
// at any s (NaN for s < 0 or NaN).
class FormFactor {
public:
    const MagneticIon& Ion() const noexcept { return *ion_; }
    double G() const noexcept { return g_; }
    double Kappa() const noexcept { return kappa_; }
    double operator()(double s) const noexcept;
    void Evaluate(std::span<const double> s, std::span<double> f) const noexcept;

private:
    friend FormFactorOutcome MakeFormFactor(std::string_view, double, double);
    FormFactor(const MagneticIon& ion, double g, double kappa) noexcept
        : ion_(&ion), g_(g), kappa_(kappa) {}
    const MagneticIon* ion_;
    double g_, kappa_;
};

struct FormFactorOutcome {
    std::optional<FormFactor> formFactor;
    std::string error;                     // why there is none
    std::vector<std::string> suggestions;  // for an unknown ion: the closest names
};

}  // namespace vantrel::magnetic
