#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> CountingStatisticsCases() { return {}; }

}  // namespace vantrel::testing
