// A polarised helium-3 spin-filter cell: pressure p (atm), temperature T (K),
// length L (cm), neutron wavelength λ (Å), helium-3 polarisation P_He.
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
