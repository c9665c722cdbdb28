// The platform calls on POSIX, at the cost of their Windows counterparts: the
// thread id is read from thread-local storage (as GetCurrentThreadId reads the
// thread block), the tick count from the monotonic clock at 60 Hz. Used by the
// stress test and the benchmarks; tests may drive the clock and take the alerts.
#pragma once

#include <atomic>
#include <cstdint>

namespace vantrel::testing {

struct PosixPlatformHooks {
    // When set, the host's tick count is read from here instead of the clock.
    std::atomic<const std::atomic<std::uint32_t>*> ticks{nullptr};
    // When set, receives the alerts; otherwise they go to standard error.
    std::atomic<void (*)(const char* text, const char* caption)> alert{nullptr};
};

PosixPlatformHooks& PosixHooks() noexcept;

}  // namespace vantrel::testing
