// A structure-factor model for the magnetic tests: a structure read from a
// CIF text, with its magnetic sites; every problem is a test failure.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/structure_factors.h"

namespace vantrel::magnetic {

inline StructureFactorModel Model(const char* cif, const std::vector<MagneticSiteInput>& magnetic) {
    const auto read = ReadCrystalStructure(cif, "test.cif");
    EXPECT_TRUE(read.structure) << read.error;
    const auto sites = MakeMagneticSites(*read.structure, magnetic);
    EXPECT_TRUE(sites.error.empty()) << sites.error;
    return StructureFactorModel(*read.structure, sites.sites);
}

}  // namespace vantrel::magnetic
