// ISO 8601 date-times as tables hold them.
#include "vantrel/date_time.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <vector>

namespace vantrel {
namespace {

TEST(DateTime, ReadsTheFormsPeopleWrite) {
    struct Case {
        std::string_view text;
        double seconds;
        bool zoned;
    };
    const std::vector<Case> cases = {
        {"1970-01-01", 0.0, false},
        {"1970-01-02T00:00", 86400.0, false},
        {"2026-12-09T14:30", 1796826600.0, false},
        {"2026-12-09 14:30:05.5", 1796826605.5, false},
        {"2026-12-09T14:30:05,25Z", 1796826605.25, true},
        {"2026-12-09T14:30+01:00", 1796823000.0, true},
        {"2026-12-09T14:30-0130", 1796832000.0, true},
        {"2024-02-29", 1709164800.0, false},  // a leap day
        {"2000-02-29", 951782400.0, false},   // a leap day of a century divisible by 400
        {"1969-12-31T23:59:59", -1.0, false},
    };
    for (const Case& c : cases) {
        const std::optional<Instant> instant = ParseDateTime(c.text);
        ASSERT_TRUE(instant.has_value()) << c.text;
        EXPECT_EQ(instant->seconds, c.seconds) << c.text;
        EXPECT_EQ(instant->zoned, c.zoned) << c.text;
    }
}

TEST(DateTime, RefusesWhatIsNoDateTime) {
    for (const std::string_view text : {"",
                                        "2026",
                                        "2026-12",
                                        "2026-13-01",
                                        "2026-00-10",
                                        "2026-02-29",
                                        "1900-02-29",
                                        "2026-04-31",
                                        "2026-12-09T24:00",
                                        "2026-12-09T12:60",
                                        "2026-12-09T12:30:60",
                                        "2026-12-09T12",
                                        "2026-12-09T12:30:",
                                        "2026-12-09T12:30:05.",
                                        "2026-12-09x",
                                        "2026-12-09T12:30+25:00",
                                        "2026-12-09T12:30Z ",
                                        " 2026-12-09",
                                        "26-12-09",
                                        "12.5"}) {
        EXPECT_FALSE(ParseDateTime(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace vantrel
