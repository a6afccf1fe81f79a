// Timing helper of the C++ benchmarks.
#pragma once

#include <chrono>
#include <cmath>
#include <cstddef>

namespace halomag::bench {

// Best of `repeat` runs of f (one call on a whole list of `points`), in
// microseconds per point; f's results are summed into `checksum` so that
// the calls are not optimised away.
template <class F>
double per_point(F&& f, std::size_t points, double& checksum, int repeat = 5) {
    double best = INFINITY;
    for (int k = 0; k < repeat; ++k) {
        const auto start = std::chrono::steady_clock::now();
        checksum += f();
        const auto stop = std::chrono::steady_clock::now();
        best = std::fmin(best, std::chrono::duration<double>(stop - start).count());
    }
    return best / static_cast<double>(points) * 1e6;
}

}  // namespace halomag::bench
