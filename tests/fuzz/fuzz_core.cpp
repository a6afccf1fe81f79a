// Fuzz target for the pure numeric core: arbitrary doubles into every
// elliptic function, the quadrature, the interpolation and the models.
// Nothing may crash, trip a sanitizer or loop forever, and the prepared
// interpolation table must agree with interp bit for bit.
//
// With clang:  -DHALOMAG_FUZZ=ON builds it as a libFuzzer target (fuzz_core_libfuzzer).
// With g++:    the built-in driver below (HALOMAG_FUZZ_DRIVER) feeds it
//              pseudo-random inputs for a bounded number of runs; CTest runs
//              it under the sanitizer build with a time limit.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "elliptic/ellip.hpp"
#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/interp.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/quadrature.hpp"

namespace {

std::vector<double> doubles_of(const std::uint8_t* data, std::size_t size) {
    std::vector<double> v(size / sizeof(double));
    if (!v.empty()) std::memcpy(v.data(), data, v.size() * sizeof(double));
    return v;
}

double at(const std::vector<double>& v, std::size_t i) { return v.empty() ? 0.0 : v[i % v.size()]; }

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz invariant failed: %s\n", what);
        std::abort();
    }
}

volatile double sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace e = halomag::ellip;
    namespace m = halomag::models;
    const std::vector<double> v = doubles_of(data, size);
    const double a = at(v, 0), b = at(v, 1), c = at(v, 2), d = at(v, 3);
    double acc = 0.0;
    const auto take = [&](const halomag::Expected<double>& r) { acc += r ? *r : 1.0; };
    take(e::elliprc(a, b));
    take(e::elliprf(a, b, c));
    take(e::elliprd(a, b, c));
    take(e::elliprj(a, b, c, d));
    take(e::ellipk(a));
    take(e::ellipe(b));
    take(m::ring_magnification(a, b, c));
    take(m::uniform_disk_magnification(a, m::DiskConstants(b)));

    const auto q = halomag::quadrature::double_exponential::integrate(
        [&](double x) { return a * x * x + b * std::sin(c * x) + 1.0 / (x - d); }, 0.0, 1.0, 1e-16);
    check(q.evaluations <= 385, "quadrature evaluation count");
    acc += q.integral;

    const std::size_t half = v.size() / 2;
    const std::vector<double> xs(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(half));
    const std::vector<double> ys(v.begin() + static_cast<std::ptrdiff_t>(half), v.end());
    const auto mode = halomag::interp::OutOfRangeMode::fill(0.0);
    const halomag::interp::LinearTable table(xs, ys, mode);
    for (const double xp : {a, b, c, d, 0.5}) {
        const double p = halomag::interp::interp(xs, ys, xp, mode), t = table(xp);
        check(p == t || (std::isnan(p) && std::isnan(t)), "LinearTable agrees with interp");
    }
    acc += halomag::numdiff::sderivative([&](double x) { return x * a + b; }, c);

    // The models on a short list (kept short: the integrals cost ~1e3 evaluations each).
    const std::vector<double> l(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(v.size(), 2)));
    if (const auto w = m::witt_mao_magnification(l, b, c)) check(w->size() == l.size(), "length");
    if (const auto w = m::discrete_flux_map_heyrovsky_magnification(l, xs, std::vector<double>(xs.size(), d), b, c)) {
        check(w->size() == l.size(), "length");
    }
    if (size % 7 == 0) {
        if (const auto w = m::integrated_heyrovsky_magnification(l, b, c)) check(w->size() == l.size(), "length");
        if (const auto w = m::integrated_witt_mao_magnification(l, b, c)) check(w->size() == l.size(), "length");
    }
    sink = acc;
    return 0;
}

#ifdef HALOMAG_FUZZ_DRIVER
// Bounded pseudo-random driver: inputs mix raw random bit patterns with
// values drawn from the places where the formulas are delicate (0, +-inf,
// NaN, subnormals, the extremes, 1 +- ulps).
int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const double special[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-300, 1e300, 5e-324,
                              1.0000000000000002, 0.9999999999999999, INFINITY, -INFINITY, NAN,
                              1.7976931348623157e308, 2.2250738585072014e-308, 1e-5, 1e154};
    std::vector<std::uint8_t> buffer;
    for (long run = 0; run < runs; ++run) {
        const std::size_t count = 1 + next() % 12;
        buffer.resize(count * sizeof(double));
        for (std::size_t i = 0; i < count; ++i) {
            double x;
            const std::uint64_t r = next();
            if (r % 3 == 0) {
                std::uint64_t bits = next();
                std::memcpy(&x, &bits, sizeof x);
            } else if (r % 3 == 1) {
                x = special[next() % (sizeof special / sizeof special[0])];
            } else {
                x = std::ldexp(static_cast<double>(next() % 1000000) / 1e6, static_cast<int>(next() % 80) - 40);
                if (next() % 4 == 0) x = -x;
            }
            std::memcpy(buffer.data() + i * sizeof(double), &x, sizeof x);
        }
        LLVMFuzzerTestOneInput(buffer.data(), buffer.size());
    }
    std::printf("fuzz_core: %ld inputs, no failure\n", runs);
    return 0;
}
#endif
