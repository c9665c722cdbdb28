// Physical constants of the helium-3 cell. The Avogadro number and the gas
// constant are older values, kept so that results agree with those computed
// before; the squares are held as constants rather than formed per call.
#pragma once

namespace vantrel::helium3 {

inline constexpr double kAvogadro = 6.0221367e23;    // per mole
inline constexpr double kGasConstant = 82.096;       // cm³·atm/(mol·K)
inline constexpr double kCrossSection = 5.333e-21;   // σ₀, cm² (5333 barn) at λ₀
inline constexpr double kReferenceWavelength = 1.8;  // λ₀, Å

// (σ₀/λ₀)²: the squared cross-section per ångström of wavelength.
inline constexpr double kAbsorptionSquared = 8.778052160493825e-42;
// Variance of σ₀/λ₀: σ₀ uncertain by 7 barn, i.e. (7e-24/1.8)² to six digits.
inline constexpr double kAbsorptionVariance = 1.51235e-47;
inline constexpr double kAvogadroSquared = 3.6266130433486886e47;
inline constexpr double kGasConstantSquared = 6739.753216000001;

static_assert(kAvogadroSquared == kAvogadro * kAvogadro);
static_assert(kGasConstantSquared == kGasConstant * kGasConstant);
static_assert(kAbsorptionSquared ==
              (kCrossSection / kReferenceWavelength) * (kCrossSection / kReferenceWavelength));

}  // namespace vantrel::helium3
