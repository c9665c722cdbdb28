// The catalogue's names by the spelling a user typed: exactly, or the closest
// when it matches none.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "vantrel/catalogue.h"

namespace vantrel::cli {

// The catalogue entry of a name or snake_case alias, or nullptr.
const CatalogueEntry* FindByName(std::string_view name);

// Up to `count` catalogue names closest to a name that is in none of them.
std::vector<std::string_view> ClosestNames(std::string_view name, std::size_t count = 3);

}  // namespace vantrel::cli
