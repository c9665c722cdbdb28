// The figure of merit of a polariser, Pn²·Tn: the counting time a measurement of
// a polarisation needs goes as 1/(P²·T), so the cell that maximises it at the
// wavelength in use is the one to fill.
#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/nan.h"

namespace vantrel::helium3 {
namespace {

// Written to be false for NaN too.
bool Usable(double Pn, double Tn) noexcept {
    return Pn >= -1.0 && Pn <= 1.0 && Tn >= 0.0 && Tn <= 1.0;
}

}  // namespace

double He3FigureOfMerit(double Pn, double Tn) noexcept {
    if (!Usable(Pn, Tn)) return kNaN;
    return Square(Pn) * Tn;
}

// ∂/∂Pn = 2Pn·Tn, ∂/∂Tn = Pn².
double He3FigureOfMeritSDev(double Pn, double Tn, double sigmaPn, double sigmaTn) noexcept {
    if (!Usable(Pn, Tn)) return kNaN;
    return QuadratureSum((2.0 * Pn) * Tn * sigmaPn, Square(Pn) * sigmaTn);
}

}  // namespace vantrel::helium3

VANTREL_COLUMN_KERNEL(vantrel::helium3::He3FigureOfMerit);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3FigureOfMeritSDev);
