// Names close to one that matched none, for the suggestions in the magnetic
// subsystem's messages (an ion, a site label).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::magnetic {

// Up to `count` of the candidates nearest to `name`: by edit distance with
// case folded (so "fe3+" first suggests "Fe3+"), ties to the longer common
// start, then in the candidates' order; none further than half the longer spelling, which would be
// a guess.
std::vector<std::string> ClosestNames(std::string_view name,
                                      const std::vector<std::string_view>& candidates,
                                      std::size_t count = 3);

// "; did you mean Fe3+, Fe2+?" or empty: the tail every such message shares.
std::string DidYouMean(const std::vector<std::string>& suggestions);

}  // namespace vantrel::magnetic
