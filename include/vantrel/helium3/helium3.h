// A polarised helium-3 spin-filter cell. The constants fix these units:
//   p        gas pressure, atm
//   T        gas temperature, K
//   L        cell length along the beam, cm
//   lambda   neutron wavelength λ, Å
//   PHe      helium-3 polarisation, fraction 0 to 1
//   Pr, Pm   reference and measured neutron polarisations, fractions
//   n1 … n4  neutron counts (transmissions n₁/n₂ polarised, n₃/n₄ unpolarised)
//   sigmaX   standard deviation of X, in the unit of X
// Efficiencies, transmissions and polarisations are fractions.
#pragma once

namespace vantrel::helium3 {

// Opacity O = n·σ(λ)·L of the cell: number density p·N_A/(R·T) times the
// absorption cross-section σ₀·λ/λ₀ times the length. Dimensionless.
double CellOpacity(double p, double T, double L, double lambda) noexcept;

double He3Efficiency(double p, double T, double L, double lambda, double PHe) noexcept;
double He3EfficiencySDev(double p, double T, double L, double lambda, double PHe, double sigmaP,
                         double sigmaT, double sigmaL, double sigmaLambda,
                         double sigmaPHe) noexcept;
// From the transmissions n₁/n₂ (polarised) and n₃/n₄ (unpolarised).
double He3Efficiency2(double n1, double n2, double n3, double n4) noexcept;
double He3Efficiency2SDev(double n1, double n2, double n3, double n4) noexcept;
double He3Transmission(double p, double T, double L, double lambda, double PHe) noexcept;
double He3TransmissionSDev(double p, double T, double L, double lambda, double PHe, double sigmaP,
                           double sigmaT, double sigmaL, double sigmaLambda,
                           double sigmaPHe) noexcept;
// Helium-3 polarisation from a measured neutron polarisation P_m and a
// reference polarisation P_r (0: none).
double He3Polarisation(double p, double T, double L, double lambda, double Pr, double Pm) noexcept;
double He3PolarisationSDev(double p, double T, double L, double lambda, double Pr, double Pm,
                           double sigmaP, double sigmaT, double sigmaL, double sigmaLambda,
                           double sigmaPr, double sigmaPm) noexcept;

}  // namespace vantrel::helium3
