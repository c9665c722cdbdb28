// The per-subsystem headers need no more than C++17.
#include <vantrel/counting/asymmetries.h>
#include <vantrel/counting/count_rates.h>
#include <vantrel/counting/dead_time.h>
#include <vantrel/counting/flipping_ratios.h>
#include <vantrel/counting/optimal_times.h>
#include <vantrel/helium3/helium3.h>
#include <vantrel/lattice/reciprocal_cell.h>
#include <vantrel/lattice/sin_theta_over_lambda.h>
#include <vantrel/nan.h>
#include <vantrel/peaks/peak_centring.h>
#include <vantrel/pi.h>

double Ratio() {
    return vantrel::counting::FlippingRatio(1000, 200, 300, 150) * vantrel::kDegToRad;
}
