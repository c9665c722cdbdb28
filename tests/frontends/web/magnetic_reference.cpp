// The magnetic view's numbers as the library gives them natively, for the
// page's tests to hold the page to:
//   magnetic_reference CIF LABEL ION G P F U V W SMAX MOMENT
//     every allowed reflection up to SMAX, "h k l,R,A", in the library's order;
//   magnetic_reference CIF LABEL ION G P F U V W --fit FILE
//     the moment fitted to FILE's lines "h k l R sigmaR", as "moment,sigma".
// Numbers printed as every front end prints them.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/number_text.h"

int main(int argc, char** argv) {
    using namespace vantrel::magnetic;
    if (argc != 12 && argc != 13) {
        std::cerr
            << "usage: magnetic_reference CIF LABEL ION G P F U V W (SMAX MOMENT | --fit FILE)\n";
        return 2;
    }
    const auto number = [](const char* text) { return vantrel::ParseNumber(text).value; };
    const CrystalStructureOutcome read = ReadCrystalStructureFile(argv[1]);
    if (!read.structure) {
        std::cerr << read.error << '\n';
        return 1;
    }
    MagneticSitesOutcome sites =
        MakeMagneticSites(*read.structure, {{argv[2], argv[3], number(argv[4]), 1.0}});
    if (!sites.error.empty()) {
        std::cerr << sites.error << '\n';
        return 1;
    }
    const StructureFactorModel model(*read.structure, std::move(sites.sites));
    const double P = number(argv[5]), f = number(argv[6]);
    const std::array<double, 3> field{number(argv[7]), number(argv[8]), number(argv[9])};
    if (std::string(argv[10]) == "--fit") {
        std::ifstream file(argv[11]);
        std::vector<MeasuredFlippingRatio> measured;
        MeasuredFlippingRatio row{};
        while (file >> row.hkl[0] >> row.hkl[1] >> row.hkl[2] >> row.R >> row.sigmaR)
            measured.push_back(row);
        const MomentFitResult fit = FitMomentsInField(model, measured, P, f, field);
        if (!fit.converged()) {
            std::cerr << fit.message << '\n';
            return 1;
        }
        std::cout << vantrel::ValueText(fit.moments[0]) << ','
                  << vantrel::ValueText(fit.deviations[0]) << '\n';
        return 0;
    }
    const auto list = model.AllowedReflections(number(argv[10]));
    const double moment[] = {number(argv[11])};
    for (const PredictedReflection& r :
         PredictFlippingRatios(model, list.reflections, moment, P, f, field)) {
        std::cout << r.hkl[0] << ' ' << r.hkl[1] << ' ' << r.hkl[2] << ','
                  << vantrel::ValueText(r.R) << ',' << vantrel::ValueText(r.A) << '\n';
    }
    return 0;
}
