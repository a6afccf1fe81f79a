// Microseconds per separation of the five profile-weighted magnifications, on
// 100 separations spread over 0 to 3 stellar radii (re = 1, rstar = 0.1), with
// the built-in limb darkening and an 11-point flux map, and the number of
// quadrature pieces and integrand evaluations behind each figure: the cost
// grows with the pieces (one per table interval inside the disk, plus one for
// a lens inside it).  Run: cmake -B build/bench -DHALOMAG_BENCH=ON
// -DHALOMAG_PYTHON=OFF && cmake --build build/bench --target bench_integrated
// && build/bench/bench/bench_integrated
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "lib/integrated.hpp"
#include "lib/models.hpp"
#include "lib/profiles.hpp"
#include "numerics/interp.hpp"

namespace {

namespace m = halomag::models;

// Best of `repeat` runs of f (one call on the whole list), in microseconds per
// separation.
template <class F>
double per_separation(F&& f, std::size_t separations, double& checksum, int repeat = 5) {
    double best = INFINITY;
    for (int k = 0; k < repeat; ++k) {
        const auto start = std::chrono::steady_clock::now();
        checksum += f();
        const auto stop = std::chrono::steady_clock::now();
        best = std::fmin(best, std::chrono::duration<double>(stop - start).count());
    }
    return best / static_cast<double>(separations) * 1e6;
}

// Pieces and integrand evaluations per separation of the ring route.
template <class Profile>
void count(const char* name, const std::vector<double>& l, const Profile& profile,
           const m::Breakpoints& cuts, double re, double rstar) {
    std::size_t pieces = 0;
    std::uint64_t evaluations = 0;
    for (const double li : l) {
        pieces += cuts.pieces(li);
        cuts.integrate([&](double r) {
            ++evaluations;
            return profile(r) * r * *m::ring_magnification(li, r, re / rstar);
        }, li);
    }
    const double n = static_cast<double>(l.size());
    std::printf("  %-28s %5.2f pieces, %6.1f integrand evaluations per separation\n", name,
                static_cast<double>(pieces) / n, static_cast<double>(evaluations) / n);
}

}  // namespace

int main() {
    std::vector<double> l(100);
    for (std::size_t i = 0; i < l.size(); ++i) l[i] = 3.0 * (static_cast<double>(i) + 0.5) / 100.0;
    std::vector<double> bl, bf;  // the built-in law sampled at 11 radii
    for (int k = 0; k <= 10; ++k) {
        const double r = k / 10.0;
        bl.push_back(r);
        bf.push_back(m::LinearLimbDarkening{}(r));
    }
    const double re = 1.0, rstar = 0.1;
    const std::size_t n = l.size();
    double sum = 0.0;

    std::printf("100 separations over 0 to 3 stellar radii, re = %g, rstar = %g\n", re, rstar);
    std::printf("integrated_witt_mao_magnification               %8.2f us per separation\n",
                per_separation([&] { return (*m::integrated_witt_mao_magnification(l, re, rstar))[3]; }, n, sum));
    std::printf("integrated_heyrovsky_magnification              %8.2f us per separation\n",
                per_separation([&] { return (*m::integrated_heyrovsky_magnification(l, re, rstar))[3]; }, n, sum));
    std::printf("integrated_flux_map_witt_mao_magnification (11) %8.2f us per separation\n",
                per_separation([&] { return (*m::integrated_flux_map_witt_mao_magnification(l, bl, bf, re, rstar))[3]; }, n, sum));
    std::printf("integrated_flux_map_heyrovsky_magnification (11)%8.2f us per separation\n",
                per_separation([&] { return (*m::integrated_flux_map_heyrovsky_magnification(l, bl, bf, re, rstar))[3]; }, n, sum));
    std::printf("discrete_flux_map_heyrovsky_magnification (11)  %8.2f us per separation\n",
                per_separation([&] { return (*m::discrete_flux_map_heyrovsky_magnification(l, bl, bf, re, rstar))[3]; }, n, sum, 50));

    std::printf("quadrature work (ring route; the uniform-disk route has the same pieces\n"
                "and three uniform-disk evaluations per integrand evaluation):\n");
    count("built-in profile", l, m::LinearLimbDarkening{}, m::Breakpoints(), re, rstar);
    const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    count("11-point flux map", l, table, m::Breakpoints(bl), re, rstar);
    std::printf("(checksum %.6g)\n", sum);
}
