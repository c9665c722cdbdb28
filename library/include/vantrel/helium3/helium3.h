// A polarised helium-3 spin-filter cell. The constants fix these units:
//   p        gas pressure, atm
//   T        gas temperature, K
//   L        cell length along the beam, cm
//   lambda   neutron wavelength λ, Å
//   PHe      helium-3 polarisation, fraction 0 to 1
//   Pr, Pm   reference and measured neutron polarisations, fractions
//   n1 … n4  neutron counts (transmissions n₁/n₂ polarised, n₃/n₄ unpolarised)
//   PHe0, T1 helium-3 polarisation at t = 0 and its relaxation time; t and T1
//            in one unit of the user's choice (hours, say)
//   Tratio   transmission of the polarised cell over that of the same cell
//            unpolarised, T_p/T_u
//   rho      correlation of PHe0 and T1, as a decay fit gives it
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

// The gas polarisation a time t after it was PHe0, relaxing with T₁:
// PHe0·exp(−t/T1). NaN for T1 ≤ 0; T1 = +∞ keeps PHe0.
double He3PolarisationAtTime(double PHe0, double T1, double t) noexcept;
// First order, with the correlation ρ of PHe0 and T1; NaN also for |ρ| > 1.
double He3PolarisationAtTimeSDev(double PHe0, double T1, double t, double sigmaPHe0, double sigmaT1,
                                 double rho) noexcept;

// |P_He| from T_p/T_u = cosh(O·P_He): acosh(Tratio)/O. NaN for Tratio < 1 and
// for a cell of no finite positive opacity.
double He3PolarisationFromTransmission(double p, double T, double L, double lambda,
                                       double Tratio) noexcept;
double He3PolarisationFromTransmissionSDev(double p, double T, double L, double lambda,
                                           double Tratio, double sigmaP, double sigmaT,
                                           double sigmaL, double sigmaLambda,
                                           double sigmaTratio) noexcept;

// The two parts of He3PolarisationFromTransmissionSDev apart, whose squares
// add up to its square (value·common)² + point²:
// - the part that varies from point to point, from the ratio alone,
//   σ_Tratio/(O·√((Tratio − 1)(Tratio + 1))): what a decay fit weighs;
// - the relative deviation common to every point read from one cell,
//   √((σ_p/p)² + (σ_T/T)² + (σ_L/L)² + (σ_λ/λ)² + k₂/k₁): p, T, L, λ and the
//   cross-section constant scale every such polarisation alike, so it moves no
//   point against another; a decay fit's PHe0 carries it (He3DecayFit's common).
// NaN where He3PolarisationFromTransmission is.
double He3PolarisationFromTransmissionPointSDev(double p, double T, double L, double lambda,
                                                double Tratio, double sigmaTratio) noexcept;
double He3PolarisationFromTransmissionCommonRelSDev(double p, double T, double L, double lambda,
                                                    double sigmaP, double sigmaT, double sigmaL,
                                                    double sigmaLambda) noexcept;

// The figure of merit Pn²·Tn of a polariser of neutron polarisation Pn and
// transmission Tn (He3Efficiency and He3Transmission at one wavelength): a
// polarisation measured through it needs a counting time that goes as
// 1/(Pn²·Tn). NaN for Pn outside [−1, 1] or Tn outside [0, 1].
double He3FigureOfMerit(double Pn, double Tn) noexcept;
double He3FigureOfMeritSDev(double Pn, double Tn, double sigmaPn, double sigmaTn) noexcept;

}  // namespace vantrel::helium3
