#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> Helium3Cases() { return {}; }

}  // namespace vantrel::testing
