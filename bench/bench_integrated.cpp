// Microseconds per separation of the five profile-weighted magnifications, on
// 100 separations spread over 0 to 3 stellar radii (re = 1, rstar = 0.1), with
// the built-in limb darkening and an 11-point flux map; then the ring route on
// the light curve of a typical finite-source event (rho = 0.01, u0 = 0.005
// Einstein radii, 2000 epochs over t/tE in [-2, 2]) and on the near-field
// grid (rho in {1e-3, 1e-2, 0.1}, l in [0, 30] dense at the limb) with the
// built-in law and tables of 11 and 101 knots, with the ring evaluations
// behind each figure.  Run: cmake -B build/bench -DHALOMAG_BENCH=ON
// -DHALOMAG_PYTHON=OFF && cmake --build build/bench --target bench_integrated
// && build/bench/bench/bench_integrated
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <vector>

#include "lib/integrated.hpp"
#include "lib/models.hpp"
#include "lib/profiles.hpp"
#include "lib/small_source.hpp"
#include "numerics/interp.hpp"
#include "timing.hpp"

namespace {

namespace m = halomag::models;

using halomag::bench::per_point;

// Ring evaluations per separation of the ring route (0 where the far-field
// series or, for the built-in profile, the small-source series applies),
// mean and largest.
template <class Disk>
void count(const char* name, const std::vector<double>& l, const Disk& disk, double re,
           double rstar) {
    const double u = re / rstar;
    std::uint64_t total = 0, most = 0;
    for (const double li : l) {
        std::uint64_t n = 0;
        const bool small_source =
            std::is_same_v<Disk, m::LimbDarkenedDisk> && m::small_source_applies(li, u);
        if (li < m::SERIES_FROM && !small_source) {
            m::integrate_disk(disk, li, u, [&](double r, double g) {
                return *m::ring_magnification_gap(li, r, g, u);
            }, {}, &n);
        }
        total += n;
        most = std::max(most, n);
    }
    std::printf("  %-34s %6.1f ring evaluations per separation (at most %llu)\n", name,
                static_cast<double>(total) / static_cast<double>(l.size()),
                static_cast<unsigned long long>(most));
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
                per_point([&] { return (*m::integrated_witt_mao_magnification(l, re, rstar))[3]; }, n, sum));
    std::printf("integrated_heyrovsky_magnification              %8.2f us per separation\n",
                per_point([&] { return (*m::integrated_heyrovsky_magnification(l, re, rstar))[3]; }, n, sum));
    std::printf("integrated_flux_map_witt_mao_magnification (11) %8.2f us per separation\n",
                per_point([&] { return (*m::integrated_flux_map_witt_mao_magnification(l, bl, bf, re, rstar))[3]; }, n, sum));
    std::printf("integrated_flux_map_heyrovsky_magnification (11)%8.2f us per separation\n",
                per_point([&] { return (*m::integrated_flux_map_heyrovsky_magnification(l, bl, bf, re, rstar))[3]; }, n, sum));
    std::printf("discrete_flux_map_heyrovsky_magnification (11)  %8.2f us per separation\n",
                per_point([&] { return (*m::discrete_flux_map_heyrovsky_magnification(l, bl, bf, re, rstar))[3]; }, n, sum, 50));

    std::printf("ring route work:\n");
    const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    count("built-in profile", l, m::LimbDarkenedDisk{}, re, rstar);
    count("11-point flux map", l, m::TabulatedDisk(table, bl), re, rstar);

    // The light curve of a typical finite-source event: rho = 0.01, u0 =
    // 0.005 Einstein radii, 2000 epochs over t/tE in [-2, 2]; l = u/rho.
    {
        const double rho = 0.01, u0 = 0.005;
        std::vector<double> curve(2000);
        for (std::size_t i = 0; i < curve.size(); ++i) {
            const double t = -2.0 + 4.0 * static_cast<double>(i) / 1999.0;
            curve[i] = std::sqrt(u0 * u0 + t * t) / rho;
        }
        std::printf("light curve (rho = 0.01, u0 = 0.005, 2000 epochs, t/tE in [-2, 2]):\n");
        std::printf("  integrated_heyrovsky_magnification %8.3f us per point\n",
                    per_point([&] { return (*m::integrated_heyrovsky_magnification(curve, 1.0, rho))[3]; },
                                   curve.size(), sum, 15));
        count("built-in profile", curve, m::LimbDarkenedDisk{}, 1.0, rho);
    }

    // The near-field grid: rho in {1e-3, 1e-2, 0.1}, l in [0, 30] dense at
    // the limb; the built-in law and tables of 11 and 101 knots.
    {
        std::vector<double> grid{0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5,
                                 2.0, 3.0, 5.0, 10.0, 20.0, 30.0};
        for (const double d : {1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6}) {
            grid.push_back(1.0 - d);
            grid.push_back(1.0 + d);
        }
        std::vector<double> bl101, bf101;
        for (int k = 0; k <= 100; ++k) {
            const double r = k == 100 ? 1.0 : std::sin(3.141592653589793 * k / 200.0);
            const double mu = std::sqrt(std::max(0.0, 1.0 - r * r));
            bl101.push_back(r);
            bf101.push_back(1.0 - 0.5 * (1.0 - mu) - 0.2 * (1.0 - mu) * (1.0 - mu));
        }
        const halomag::interp::LinearTable table101(bl101, bf101, halomag::interp::OutOfRangeMode::fill(0.0));
        std::printf("near-field grid (%zu separations x rho in {1e-3, 1e-2, 0.1}):\n", grid.size());
        double t_builtin = 0, t_11 = 0, t_101 = 0;
        for (const double rho : {1e-3, 1e-2, 0.1}) {
            t_builtin += per_point([&] { return (*m::integrated_heyrovsky_magnification(grid, 1.0, rho))[3]; }, grid.size(), sum, 15);
            t_11 += per_point([&] { return (*m::integrated_flux_map_heyrovsky_magnification(grid, bl, bf, 1.0, rho))[3]; }, grid.size(), sum, 15);
            t_101 += per_point([&] { return (*m::integrated_flux_map_heyrovsky_magnification(grid, bl101, bf101, 1.0, rho))[3]; }, grid.size(), sum, 15);
            std::printf(" rho = %g:\n", rho);
            count("built-in profile", grid, m::LimbDarkenedDisk{}, 1.0, rho);
            count("11-knot table", grid, m::TabulatedDisk(table, bl), 1.0, rho);
            count("101-knot table", grid, m::TabulatedDisk(table101, bl101), 1.0, rho);
        }
        std::printf("  us per point (mean over rho): built-in %.3f, 11 knots %.3f (%.1fx), 101 knots %.3f (%.1fx)\n",
                    t_builtin / 3, t_11 / 3, t_11 / t_builtin, t_101 / 3, t_101 / t_builtin);
    }
    std::printf("(checksum %.6g)\n", sum);
}
