#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> PeakAndLatticeCases() { return {}; }

}  // namespace vantrel::testing
