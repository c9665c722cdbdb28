// Everything Vantrel offers another C++ program: the typed functions of every
// subsystem, the catalogue that names and describes them, and the evaluation
// of whole columns.
//
//   #include <vantrel/vantrel.h>
//   double r = vantrel::counting::FlippingRatio(1000, 200, 300, 150);
//
// Link the CMake target vantrel::vantrel (find_package(vantrel)).
#pragma once

#include "vantrel/batch.h"
#include "vantrel/catalogue.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/count_rates.h"
#include "vantrel/counting/dead_time.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/counting/optimal_times.h"
#include "vantrel/fit/least_squares.h"
#include "vantrel/helium3/decay_fit.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/lattice/reciprocal_cell.h"
#include "vantrel/lattice/sin_theta_over_lambda.h"
#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"
#include "vantrel/magnetic/magnetic_ratio.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/nan.h"
#include "vantrel/number_text.h"
#include "vantrel/peaks/peak_centring.h"
#include "vantrel/pi.h"
