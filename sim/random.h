// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Seeded randomness for faults and readings, so a run with the same --seed behaves the same way
// byte for byte (given the same bytes from the host).

#include <cstdint>
#include <random>

namespace sim {

class Random {
  public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}

    // True with probability p (0 never, 1 always).
    bool chance(double p) {
        if (p <= 0.0) return false;
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < p;
    }
    // A whole number from 0 to n - 1.
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }

  private:
    std::mt19937 engine_;
};

}  // namespace sim
