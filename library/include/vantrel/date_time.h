// Times as people write them in tables: ISO 8601 date-times.
#pragma once

#include <optional>
#include <string_view>

namespace vantrel {

// An ISO 8601 date-time (2026-12-09, 2026-12-09T14:30, 2026-12-09 14:30:05.5Z,
// …+01:00) in seconds since 1970-01-01 of its own time zone, or UTC when it
// names one; nothing if it is not one (a month 13, 30 February, 24:00, text
// after it). `zoned` tells which.
struct Instant {
    double seconds;
    bool zoned;
};
std::optional<Instant> ParseDateTime(std::string_view text);

}  // namespace vantrel
