// Independent check of the standard-deviation functions: first-order
// propagation of independent errors through a value function, by central
// differences.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include "catalogue/registry.h"

namespace vantrel::testing {

// √Σ (∂f/∂xᵢ · σᵢ)²; inputs with σᵢ = 0 are held exact.
inline double PropagatedSDev(const std::function<double(std::span<const double>)>& f,
                             std::span<const double> x, std::span<const double> sigma,
                             double relativeStep = 1e-6) {
    double variance = 0.0;
    std::vector<double> shifted(x.begin(), x.end());
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (sigma[i] == 0.0) continue;
        const double h = relativeStep * (x[i] != 0.0 ? std::fabs(x[i]) : 1.0);
        shifted[i] = x[i] + h;
        const double up = f(shifted);
        shifted[i] = x[i] - h;
        const double down = f(shifted);
        shifted[i] = x[i];
        const double derivative = (up - down) / (2.0 * h);
        variance += (derivative * sigma[i]) * (derivative * sigma[i]);
    }
    return std::sqrt(variance);
}

// The value function of a catalogue entry, called through its parameter block.
inline std::function<double(std::span<const double>)> ByName(std::string_view name) {
    const CatalogueEntry* entry = FindFunction(name);
    return [entry](std::span<const double> args) { return Evaluate(*entry, args); };
}

// Relative difference, with 0 for two equal values (including two zeros).
inline double RelativeDifference(double a, double b) {
    if (a == b) return 0.0;
    return std::fabs(a - b) / std::max(std::fabs(a), std::fabs(b));
}

// Reproducible random inputs for property tests.
class Inputs {
public:
    explicit Inputs(std::uint64_t seed = 20261208) : engine_(seed) {}
    double Uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(engine_);
    }
    // Log-uniform on [lo, hi], for quantities spanning decades.
    double LogUniform(double lo, double hi) {
        return std::exp(Uniform(std::log(lo), std::log(hi)));
    }

private:
    std::mt19937_64 engine_;
};

}  // namespace vantrel::testing
