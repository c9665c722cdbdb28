// The magnetic commands of vantrel: form factors of an ion, the flipping
// ratios a structure predicts, the fit of its sites' moments to measured
// ratios, and the order in which to measure reflections. CSV in, CSV out.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace vantrel::cli {

inline constexpr std::string_view kFormFactorCommand = "form-factor";
inline constexpr std::string_view kFlippingRatiosCommand = "flipping-ratios";
inline constexpr std::string_view kMomentFitCommand = "moment-fit";
inline constexpr std::string_view kPlanCommand = "plan-measurements";

bool IsMagneticCommand(std::string_view name);
// What `vantrel help COMMAND` shows for one of them.
std::string_view MagneticUsage(std::string_view command);

// Runs `command` with the arguments after it; `in` is read for "--csv -".
// Exit status as Run's.
int RunMagnetic(std::string_view command, std::span<const std::string_view> args, std::istream& in,
                std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
