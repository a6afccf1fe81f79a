// The ring route and the uniform-disk route on the comparison grid (l = u/rho
// from 0 to 30, closing in on the limb to 1 +- 1e-6; 35 separations) for
// large sources (rho = 0.5, 1, 2) and small ones (rho = 1e-3, 1e-2, 0.1),
// with the built-in law and flux maps of 5, 11 and 51 knots.  Per rho and
// profile: microseconds per point of the whole list call, ring evaluations
// per point, nanoseconds per evaluation, and the planning share (the same
// rules summing a constant in place of the ring mean, over the time of the
// call); at rho = 1 also the time of a call with a table not kept from an
// earlier call, whose rules are built in the call.  Run: cmake -B build/bench -DHALOMAG_BENCH=ON -DHALOMAG_PYTHON=OFF
// && cmake --build build/bench --target bench_large_sources
// && build/bench/bench/bench_large_sources
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
using Table = halomag::interp::LinearTable;

// Best of 7 runs.
template <class F>
double per_point(F&& f, std::size_t points, double& checksum, int repeat = 7) {
    return halomag::bench::per_point(f, points, checksum, repeat);
}

struct Work {
    double evaluations = 0.0;  // per point
    double plan_us = 0.0;      // per point, rules with a constant integrand
};

// Whether the rules integrate at separation l: not from SERIES_FROM on (the
// mean-value series), nor for the built-in law where the small-source series
// serves it.
template <class Disk>
bool by_rules(const Disk&, double l, double u) {
    if (l >= m::SERIES_FROM) return false;
    return !(std::is_same_v<Disk, m::LimbDarkenedDisk> && m::small_source_applies(l, u));
}

// Ring evaluations per point and the time of the rules alone.
template <class Disk>
Work work(const std::vector<double>& l, const Disk& disk, double u, double& checksum) {
    std::uint64_t total = 0;
    for (const double li : l) {
        if (!by_rules(disk, li, u)) continue;
        std::uint64_t n = 0;
        m::integrate_disk(disk, li, u, [](double, double) { return 1.0; }, {}, &n);
        total += n;
    }
    Work w;
    w.evaluations = static_cast<double>(total) / static_cast<double>(l.size());
    w.plan_us = per_point([&] {
        double s = 0.0;
        for (const double li : l) {
            if (by_rules(disk, li, u)) s += m::integrate_disk(disk, li, u, [](double r, double) { return r; });
        }
        return s;
    }, l.size(), checksum);
    return w;
}

void line(const char* name, double us, const Work& w) {
    const double ns = w.evaluations > 0.0 ? (us - w.plan_us) * 1e3 / w.evaluations : 0.0;
    std::printf("  %-28s %7.3f us/pt  %6.1f rings/pt  %5.1f ns/ring  planning %4.1f%%\n", name, us,
                w.evaluations, ns, 100.0 * w.plan_us / us);
}

std::vector<double> sine_knots(int n) {
    std::vector<double> r;
    for (int k = 0; k <= n; ++k) r.push_back(k == n ? 1.0 : std::sin(3.141592653589793 * k / (2.0 * n)));
    return r;
}

}  // namespace

int main() {
    std::vector<double> grid{0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5,
                             2.0, 3.0, 5.0, 10.0, 20.0, 30.0};
    for (const double d : {1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6}) {
        grid.push_back(1.0 - d);
        grid.push_back(1.0 + d);
    }
    std::sort(grid.begin(), grid.end());
    struct Map {
        const char* name;
        std::vector<double> bl, bf;
    };
    std::vector<Map> maps;
    for (const int n : {4, 10, 50}) {
        Map map{n == 4 ? "5-knot map" : (n == 10 ? "11-knot map" : "51-knot map"), sine_knots(n), {}};
        for (const double r : map.bl) map.bf.push_back(m::LinearLimbDarkening{}(r));
        maps.push_back(map);
    }
    double sum = 0.0;
    const std::size_t n = grid.size();
    std::printf("%zu separations l = u/rho in [0, 30] (re = 1, rstar = rho); flux maps: the linear law at r = sin(pi k/2n)\n", n);
    for (const double rho : {0.5, 1.0, 2.0, 1e-3, 1e-2, 0.1}) {
        const double u = 1.0 / rho;
        std::printf("rho = %g:\n", rho);
        line("integrated_heyrovsky", per_point([&] { return (*m::integrated_heyrovsky_magnification(grid, 1.0, rho))[3]; }, n, sum),
             work(grid, m::LimbDarkenedDisk{}, u, sum));
        for (const Map& map : maps) {
            const Table table(map.bl, map.bf, halomag::interp::OutOfRangeMode::fill(0.0));
            char name[64];
            std::snprintf(name, sizeof name, "flux map heyrovsky, %zu", map.bl.size());
            const double ring = per_point([&] { return (*m::integrated_flux_map_heyrovsky_magnification(grid, map.bl, map.bf, 1.0, rho))[3]; }, n, sum);
            line(name, ring, work(grid, m::TabulatedDisk(table, map.bl), u, sum));
            const double disk = per_point([&] { return (*m::integrated_flux_map_witt_mao_magnification(grid, map.bl, map.bf, 1.0, rho))[3]; }, n, sum, 3);
            std::printf("  flux map witt-mao, %-9zu %7.3f us/pt  (%.2fx the ring route)\n", map.bl.size(), disk, disk / ring);
            if (rho == 1.0) {
                // A call with a table the thread has not kept: its rules are
                // built in the call (a fit with a varying profile).
                for (const bool rings : {true, false}) {
                    int fresh = 0;
                    const double first = per_point([&] {
                        std::vector<double> bf(map.bf);
                        bf[0] *= 1.0 + 1e-9 * ++fresh;  // a new table each time
                        return rings ? (*m::integrated_flux_map_heyrovsky_magnification(grid, map.bl, bf, 1.0, rho))[3]
                                     : (*m::integrated_flux_map_witt_mao_magnification(grid, map.bl, bf, 1.0, rho))[3];
                    }, 1, sum, 3);
                    std::printf("    a new table, %s route: %.0f us per call of %zu separations\n", rings ? "ring" : "disk", first, n);
                }
            }
        }
    }
    std::printf("(checksum %.6g)\n", sum);
}
