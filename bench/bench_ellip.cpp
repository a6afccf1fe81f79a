// Nanoseconds per call of each elliptic integral on the arguments the
// magnification formulas produce: RF(0, 1 - m, 1) = K(m), RJ(0, 1 - m, 1, 1 - n)
// for Pi(n | m), K(m) and E(m), plus RC and RD on the same complements.
// Half of the parameters are spread over (0, 1), half crowd towards 1 (the
// lens near the stellar limb), where the complements span 1e-2 to 1e-15.
//
// The same arguments, built by the same formulas, are timed with
// scipy.special by bench/bench_ellip_scipy.py.
//
//   cmake -S . -B build/ellip -DHALOMAG_PYTHON=OFF -DHALOMAG_BENCH=ON
//   cmake --build build/ellip --target bench_ellip && build/ellip/bench/bench_ellip
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "elliptic/ellip.hpp"

namespace {

constexpr int N = 4096;
constexpr int REPEATS = 400;  // 1.6 million calls per function

// Parameter number i of the set: even i spread over (0, 1), odd i close to 1.
double parameter(int i, double phase) {
    const double u = std::fmod(0.6180339887498949 * i + phase, 1.0);
    if (i % 2 == 0) return 0.001 + 0.998 * u;
    return 1.0 - std::pow(10.0, -2.0 - 13.0 * u);
}

template <class F>
double ns_per_call(F&& f, double& checksum) {
    double sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < REPEATS; ++r) {
        for (int i = 0; i < N; ++i) sum += f(i);
    }
    const auto stop = std::chrono::steady_clock::now();
    checksum += sum;
    return std::chrono::duration<double, std::nano>(stop - start).count() / (double(N) * REPEATS);
}

}  // namespace

int main() {
    namespace e = halomag::ellip;
    std::vector<double> cm(N), cn(N), m(N);
    for (int i = 0; i < N; ++i) {
        m[i] = parameter(i, 0.0);
        cm[i] = 1.0 - m[i];
        cn[i] = 1.0 - parameter(i, 0.5);
    }
    // An error would be a bug here: count it rather than hide it in a NaN.
    int errors = 0;
    const auto value = [&errors](const e::Result& r) {
        if (!r) {
            ++errors;
            return 0.0;
        }
        return *r;
    };
    double checksum = 0;
    const double rf = ns_per_call([&](int i) { return value(e::elliprf(0.0, cm[i], 1.0)); }, checksum);
    const double rc = ns_per_call([&](int i) { return value(e::elliprc(cm[i], 1.0)); }, checksum);
    const double rd = ns_per_call([&](int i) { return value(e::elliprd(0.0, cm[i], 1.0)); }, checksum);
    const double rj =
        ns_per_call([&](int i) { return value(e::elliprj(0.0, cm[i], 1.0, cn[i])); }, checksum);
    const double k = ns_per_call([&](int i) { return value(e::ellipk(m[i])); }, checksum);
    const double ee = ns_per_call([&](int i) { return value(e::ellipe(m[i])); }, checksum);
    std::printf("ns per call (%d arguments x %d repeats)\n", N, REPEATS);
    std::printf("  elliprf(0, 1-m, 1)       %7.1f\n", rf);
    std::printf("  elliprc(1-m, 1)          %7.1f\n", rc);
    std::printf("  elliprd(0, 1-m, 1)       %7.1f\n", rd);
    std::printf("  elliprj(0, 1-m, 1, 1-n)  %7.1f\n", rj);
    std::printf("  ellipk(m)                %7.1f\n", k);
    std::printf("  ellipe(m)                %7.1f\n", ee);
    std::printf("checksum %.17g, errors %d\n", checksum, errors);
    return errors == 0 ? 0 : 1;
}
