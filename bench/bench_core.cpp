// Nanoseconds per call of the elliptic integrals on the arguments the
// magnification formulas produce, and microseconds per separation of the
// models, without Python.  Run: cmake -B build/bench -DHALOMAG_BENCH=ON
// -DHALOMAG_PYTHON=OFF && cmake --build build/bench && build/bench/bench/bench_core
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "elliptic/ellip.hpp"
#include "lib/models.hpp"

namespace {

template <class F>
double time_per_call(F&& f, std::size_t calls, double& checksum) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < calls; ++i) checksum += f(i);
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(stop - start).count() / static_cast<double>(calls);
}

}  // namespace

int main() {
    namespace e = halomag::ellip;
    namespace m = halomag::models;
    // Complements 1 - m and 1 - n as the ring formula forms them, for rings
    // spread over the disk and lenses from the centre to 3 stellar radii.
    std::vector<double> cm, cn, mm;
    for (int i = 0; i < 4096; ++i) {
        const double l = 3.0 * (i + 0.5) / 4096, r = std::fmod(0.618 * i, 1.0), u = 1.0;
        const double g = l - r, s = l + r, q = 4 * u * u + g * g;
        cn.push_back((g / s) * (g / s));
        cm.push_back(cn.back() * (s * s + 4 * u * u) / q);
        mm.push_back(1.0 - cm.back());
    }
    const std::size_t n = cm.size(), calls = 2000000;
    double sum = 0;
    const double rf = time_per_call([&](std::size_t i) { return *e::elliprf(0.0, cm[i % n], 1.0); }, calls, sum);
    const double rj = time_per_call([&](std::size_t i) { return *e::elliprj(0.0, cm[i % n], 1.0, cn[i % n]); }, calls, sum);
    const double rc = time_per_call([&](std::size_t i) { return *e::elliprc(cm[i % n], 1.0 + cn[i % n]); }, calls, sum);
    const double rd = time_per_call([&](std::size_t i) { return *e::elliprd(cm[i % n], 1.0, 1.0 + cn[i % n]); }, calls, sum);
    const double k = time_per_call([&](std::size_t i) { return *e::ellipk(mm[i % n]); }, calls, sum);
    const double ee = time_per_call([&](std::size_t i) { return *e::ellipe(mm[i % n]); }, calls, sum);
    std::printf("elliprf(0, 1-m, 1)          %7.1f ns\n", rf * 1e9);
    std::printf("elliprj(0, 1-m, 1, 1-n)     %7.1f ns\n", rj * 1e9);
    std::printf("elliprc(1-m, 2-n)           %7.1f ns\n", rc * 1e9);
    std::printf("elliprd(1-m, 1, 2-n)        %7.1f ns\n", rd * 1e9);
    std::printf("ellipk(m)                   %7.1f ns\n", k * 1e9);
    std::printf("ellipe(m)                   %7.1f ns\n", ee * 1e9);

    std::vector<double> l(100000);
    for (int i = 0; i < 100000; ++i) l[static_cast<std::size_t>(i)] = 3.0 * (i + 0.5) / 100000;
    const double wm = time_per_call([&](std::size_t) { return (*m::witt_mao_magnification(l, 1.0, 0.1))[7]; }, 20, sum) / 1e5;
    const double hm = time_per_call([&](std::size_t i) { return *m::heyrovsky_magnification(l[i % l.size()], 0.37, 1.0, 0.1); }, calls, sum);
    std::printf("witt_mao_magnification      %7.3f us per separation (1e5 separations)\n", wm * 1e6);
    std::printf("heyrovsky_magnification     %7.3f us per call\n", hm * 1e6);

    std::vector<double> l100(100);
    for (int i = 0; i < 100; ++i) l100[static_cast<std::size_t>(i)] = 3.0 * (i + 0.5) / 100;
    std::vector<double> bl, bf;
    for (int j = 0; j <= 10; ++j) {
        const double r = j / 10.0;
        bl.push_back(r);
        bf.push_back(1.0 - 0.6 * (1.0 - std::sqrt(1.0 - r * r)));
    }
    const auto per = [&](auto f) { return time_per_call([&](std::size_t) { return f(); }, 5, sum) / 100 * 1e6; };
    std::printf("integrated_witt_mao                   %8.2f us per separation\n",
                per([&] { return (*m::integrated_witt_mao_magnification(l100, 1.0, 0.1))[3]; }));
    std::printf("integrated_heyrovsky                  %8.2f us per separation\n",
                per([&] { return (*m::integrated_heyrovsky_magnification(l100, 1.0, 0.1))[3]; }));
    std::printf("integrated_flux_map_witt_mao (11 pt)  %8.2f us per separation\n",
                per([&] { return (*m::integrated_flux_map_witt_mao_magnification(l100, bl, bf, 1.0, 0.1))[3]; }));
    std::printf("integrated_flux_map_heyrovsky (11 pt) %8.2f us per separation\n",
                per([&] { return (*m::integrated_flux_map_heyrovsky_magnification(l100, bl, bf, 1.0, 0.1))[3]; }));
    std::printf("discrete_flux_map_heyrovsky (11 pt)   %8.2f us per separation\n",
                per([&] { return (*m::discrete_flux_map_heyrovsky_magnification(l100, bl, bf, 1.0, 0.1))[3]; }));
    std::printf("(checksum %g)\n", sum);
}
