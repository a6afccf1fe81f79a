// Tanh-sinh quadrature, linear interpolation and the central difference:
// the worked values below pin the node table and the stopping rule together.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "numerics/gauss.hpp"
#include "numerics/interp.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/quadrature.hpp"
#include "numerics/weighted_gauss.hpp"

namespace de = halomag::quadrature::double_exponential;
using halomag::interp::interp;
using halomag::interp::LinearTable;
using halomag::interp::OutOfRangeMode;
using halomag::numdiff::CBRT_EPS;
using halomag::numdiff::sderivative;

constexpr double TWO_PI = 6.283185307179586;

TEST(Quadrature, WorkedValues) {
    const auto profile = [](double r) {
        return TWO_PI * r * ((1.0 - std::sqrt(1.0 - r * r)) * (-0.6) + 1.0);
    };
    const auto limb = de::integrate(profile, 0.0, 1.0, 1e-16);
    EXPECT_EQ(limb.integral, 2.5132741228717936);
    EXPECT_EQ(limb.evaluations, 385u);
    EXPECT_NEAR(limb.error_estimate, 9.77e-15, 0.01e-15);

    const auto one = de::integrate([](double) { return 1.0; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(one.integral, 0.9999999999999669);
    EXPECT_EQ(one.evaluations, 385u);
    const auto square = de::integrate([](double r) { return r * r; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(square.integral, 0.3333333333333167);

    const auto zero = de::integrate([](double) { return 0.0; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(zero.integral, 0.0);
    EXPECT_EQ(zero.error_estimate, 0.0);
    EXPECT_EQ(zero.evaluations, 25u);
}

TEST(Quadrature, NonFiniteValuesCountAsZero) {
    int calls = 0;
    const auto spiky = [&](double r) {
        ++calls;
        if (calls % 3 == 0) return std::numeric_limits<double>::quiet_NaN();
        if (calls % 3 == 1) return std::numeric_limits<double>::infinity();
        return r * r;
    };
    const auto out = de::integrate(spiky, 0.0, 1.0, 1e-16);
    EXPECT_TRUE(std::isfinite(out.integral));
    // Same as the integrand that is zero where the spiky one is not finite.
    int calls2 = 0;
    const auto masked = [&](double r) { ++calls2; return calls2 % 3 == 2 ? r * r : 0.0; };
    EXPECT_EQ(out.integral, de::integrate(masked, 0.0, 1.0, 1e-16).integral);
}

TEST(Quadrature, EndpointSingularityAndGeneralInterval) {
    // int_0^1 ln(x) dx = -1: tanh-sinh handles endpoint singularities.
    const auto log_int = de::integrate([](double x) { return std::log(x); }, 0.0, 1.0, 1e-16);
    EXPECT_NEAR(log_int.integral, -1.0, 1e-12);
    const auto sin_int = de::integrate([](double x) { return std::sin(x); }, 0.0, 3.0, 1e-14);
    EXPECT_NEAR(sin_int.integral, 1.0 - std::cos(3.0), 1e-13);
}

TEST(Interp, TwoSampleTableUnderEveryMode) {
    const std::vector<double> x{0.0, 1.0}, y{2.0, 4.0};
    const auto fill = OutOfRangeMode::fill(0.0);
    const auto extend = OutOfRangeMode::extend_end_segment();
    const auto clamp = OutOfRangeMode::clamp_to_ends();
    EXPECT_EQ(interp(x, y, 0.5, fill), 3.0);
    EXPECT_EQ(interp(x, y, 1.0, fill), 4.0);
    EXPECT_EQ(interp(x, y, 0.0, fill), 2.0);
    EXPECT_EQ(interp(x, y, 1.5, fill), 0.0);
    EXPECT_EQ(interp(x, y, 1.5, extend), 5.0);
    EXPECT_EQ(interp(x, y, 1.5, clamp), 4.0);
    EXPECT_EQ(interp(x, y, -0.5, fill), 0.0);
    EXPECT_EQ(interp(x, y, -0.5, extend), 1.0);
    EXPECT_EQ(interp(x, y, -0.5, clamp), 2.0);
    EXPECT_EQ(interp(x, y, -0.5, OutOfRangeMode::fill(7.0)), 7.0);
    EXPECT_TRUE(std::isnan(interp(x, y, std::nan(""), fill)));
}

TEST(Interp, LengthsAndDegenerateTables) {
    const std::vector<double> x{0.0, 1.0, 2.0}, y{2.0, 4.0};
    // The longer table is cut to the shorter: x = 2 lies beyond the range.
    EXPECT_EQ(interp(x, y, 2.0, OutOfRangeMode::fill(0.0)), 0.0);
    EXPECT_EQ(interp(x, y, 2.0, OutOfRangeMode::extend_end_segment()), 6.0);
    EXPECT_EQ(interp({}, {}, 0.5, OutOfRangeMode::fill(1.0)), 0.0);
    const std::vector<double> one_x{0.5}, one_y{3.0};
    for (const double xp : {-1.0, 0.5, 10.0}) {
        EXPECT_EQ(interp(one_x, one_y, xp, OutOfRangeMode::fill(0.0)), 3.0);
    }
    // A point equal to an inner sample uses the segment that ends at it.
    const std::vector<double> kx{0.0, 0.5, 1.0}, ky{1.0, 0.0, 3.0};
    EXPECT_EQ(interp(kx, ky, 0.5, OutOfRangeMode::fill(0.0)), 0.0);
}

TEST(Interp, PreparedTableIsBitForBitTheSame) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> unit(-0.5, 1.5);
    const std::vector<std::vector<double>> tables_x{
        {0.0, 0.25, 0.5, 0.75, 1.0}, {0.0, 0.3, 0.3, 1.2}, {0.9, 0.1, 0.5, 0.7},
        {0.0, std::nan(""), 1.0}, {0.2}, {}};
    for (const auto& x : tables_x) {
        std::vector<double> y;
        for (std::size_t k = 0; k < x.size(); ++k) y.push_back(unit(rng));
        for (const auto mode : {OutOfRangeMode::fill(0.0), OutOfRangeMode::clamp_to_ends(),
                                OutOfRangeMode::extend_end_segment()}) {
            const LinearTable table(x, y, mode);
            std::vector<double> points{std::nan(""), -0.5, 0.0, 1.0, 1.5};
            points.insert(points.end(), x.begin(), x.end());
            for (int k = 0; k < 500; ++k) points.push_back(unit(rng));
            for (const double xp : points) {
                const double a = interp(x, y, xp, mode), b = table(xp);
                EXPECT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << xp;
            }
        }
    }
}

TEST(Numdiff, CentralDifference) {
    EXPECT_EQ(CBRT_EPS, std::cbrt(0x1p-52));
    const auto square = [](double x) { return x * x; };
    EXPECT_NEAR(sderivative(square, 3.0), 6.0, 1e-9);
    std::vector<double> seen;
    const auto record = [&](double x) { seen.push_back(x); return x * x; };
    EXPECT_NEAR(sderivative(record, 0.0), 0.0, 1e-20);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], CBRT_EPS);   // f(x + delta) first
    EXPECT_EQ(seen[1], -CBRT_EPS);
    seen.clear();
    sderivative(record, 1e6);
    EXPECT_NEAR(seen[0] - 1e6, (1e6 + 1.0) * CBRT_EPS, 1e-9);  // about 6.06
    EXPECT_TRUE(std::isnan(sderivative([](double x) { return x > 0 ? std::nan("") : x; }, 0.0)));
    EXPECT_NEAR(sderivative(square, 2.0, 1e-4), 4.0, 1e-8);
    // Two points with one four-abscissa call: each exactly as the pair form.
    const auto cube2 = [](const double x[2], double out[2]) {
        for (int i = 0; i < 2; ++i) out[i] = x[i] * x[i] * x[i];
    };
    const auto cube4 = [&](const double x[4], double out[4]) {
        cube2(x, out);
        cube2(x + 2, out + 2);
    };
    const double at[2] = {0.3, -7.0};
    double two[2];
    halomag::numdiff::sderivative_two(cube4, at, two);
    EXPECT_EQ(two[0], halomag::numdiff::sderivative_pair(cube2, at[0]));
    EXPECT_EQ(two[1], halomag::numdiff::sderivative_pair(cube2, at[1]));
}

// A rule's node sum hands an integrand that evaluates fours its nodes in
// fours, then pairs, then one: every node once, in order, for any size.
TEST(Quadrature, GroupedIntegrandSeesEveryNodeOnce) {
    namespace gauss = halomag::quadrature::gauss;
    for (std::size_t n = 1; n <= 11; ++n) {
        std::vector<double> seen;
        int fours = 0;
        const auto f = gauss::Grouped{
            [&](double x) { seen.push_back(x); return std::exp(x); },
            [&](const double x[2], double out[2]) {
                for (int i = 0; i < 2; ++i) { seen.push_back(x[i]); out[i] = std::exp(x[i]); }
            },
            [&](const double x[4], double out[4]) {
                ++fours;
                for (int i = 0; i < 4; ++i) { seen.push_back(x[i]); out[i] = std::exp(x[i]); }
            }};
        const gauss::Rule rule = gauss::legendre(n);
        const double grouped = gauss::integrate(f, 0.0, 1.0, rule);
        ASSERT_EQ(seen.size(), n);
        EXPECT_EQ(fours, static_cast<int>(n / 4));
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        const double single = gauss::integrate([](double x) { return std::exp(x); }, 0.0, 1.0, rule);
        EXPECT_EQ(grouped, single) << n;
    }
}

// Gauss rules for a kinked nonnegative table (numerics/weighted_gauss.hpp):
// exact for p(t) t^k to k = 2n - 1 (the exact value from the pieces' lines,
// int_a^b (c0 + c1 t) t^k dt), positive weights, nodes inside (0, 1); and
// no rule for a weight that goes negative or has no mass.
TEST(WeightedGauss, ExactToDegreeTwoNMinusOne) {
    const std::vector<double> bl{0.0, 0.13, 0.5, 0.51, 0.9, 1.0}, bf{1.0, 0.7, 0.95, 0.02, 0.6, 0.0};
    std::vector<std::array<double, 2>> pieces;
    for (std::size_t k = 0; k + 1 < bl.size(); ++k) pieces.push_back({bl[k], bl[k + 1]});
    const auto value = [&](std::size_t k, double t) {
        return bf[k] + (bf[k + 1] - bf[k]) * ((t - bl[k]) / (bl[k + 1] - bl[k]));
    };
    halomag::quadrature::WeightedGauss gauss;
    for (std::size_t n = 1; n <= halomag::quadrature::WeightedGauss::CAP; ++n) {
        const auto* rule = gauss.rule(n, pieces, value);
        ASSERT_NE(rule, nullptr) << n;
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_GT(rule->w[i], 0.0);
            EXPECT_GT(rule->t[i], 0.0);
            EXPECT_LT(rule->t[i], 1.0);
            if (i > 0) {
                EXPECT_GT(rule->t[i], rule->t[i - 1]);
            }
        }
        for (std::size_t k = 0; k < 2 * n; ++k) {
            // (In long double: the lines' two terms cancel on the steep piece.)
            long double exact = 0.0L;
            for (std::size_t j = 0; j + 1 < bl.size(); ++j) {
                const long double a = bl[j], b = bl[j + 1], c1 = (bf[j + 1] - bf[j]) / (b - a), c0 = bf[j] - c1 * a;
                const long double e = static_cast<long double>(k);
                exact += c0 * (std::pow(b, e + 1) - std::pow(a, e + 1)) / (e + 1) +
                         c1 * (std::pow(b, e + 2) - std::pow(a, e + 2)) / (e + 2);
            }
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) sum += rule->w[i] * std::pow(rule->t[i], static_cast<double>(k));
            // t^k carries k times the nodes' own rounding.
            EXPECT_NEAR(sum / static_cast<double>(exact), 1.0, 4e-16 * static_cast<double>(k + 4))
                << "n=" << n << " k=" << k;
        }
    }
    // A constant weight: its Gauss rule is Gauss-Legendre's, whose tables
    // were generated in mpmath (scripts/gen_gauss_tables.py), independently:
    // nodes to an ulp of the interval, weights to 2e-14 of themselves (the
    // moments' rounding, amplified towards the ends), up to the largest rule.
    {
        const std::vector<std::array<double, 2>> flat_pieces{{0.0, 0.3}, {0.3, 0.7}, {0.7, 1.0}};
        halomag::quadrature::WeightedGauss flat;
        for (std::size_t n = 1; n <= halomag::quadrature::WeightedGauss::CAP; ++n) {
            const auto* rule = flat.rule(n, flat_pieces, [](std::size_t, double) { return 2.0; });
            ASSERT_NE(rule, nullptr) << n;
            const halomag::quadrature::gauss::Rule legendre = halomag::quadrature::gauss::legendre(n);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(rule->t[i], legendre.t[i], 8e-16) << "n=" << n << " i=" << i;
                EXPECT_NEAR(rule->w[i] / (2.0 * legendre.w[i]), 1.0, 4e-14) << "n=" << n << " i=" << i;
            }
        }
    }
    // Weight on a small part of [0, 1] only (a table stopping short of the
    // limb), and on two chunks far apart: a rule, if any, still exact.
    for (const auto& [chunks, name] : {std::pair{std::vector<std::array<double, 2>>{{0.0, 0.04}, {0.04, 1.0}}, "short"},
                                       std::pair{std::vector<std::array<double, 2>>{{0.0, 0.05}, {0.05, 0.95}, {0.95, 1.0}},
                                                 "apart"}}) {
        const auto chunk_value = [&](std::size_t k, double t) { return k == 1 ? 0.0 : 1.0 + t; };
        halomag::quadrature::WeightedGauss chunked;
        std::size_t built = 0;
        for (const std::size_t n : {2u, 5u, 10u, 20u}) {
            const auto* rule = chunked.rule(n, chunks, chunk_value);
            if (rule == nullptr) continue;
            ++built;
            for (std::size_t k = 0; k < 2 * n; k += 3) {
                long double exact = 0.0L;
                for (std::size_t j = 0; j < chunks.size(); j += 2) {
                    const long double a = chunks[j][0], b = chunks[j][1], e = static_cast<long double>(k);
                    exact += (std::pow(b, e + 1) - std::pow(a, e + 1)) / (e + 1) +
                             (std::pow(b, e + 2) - std::pow(a, e + 2)) / (e + 2);
                }
                double sum = 0.0;
                for (std::size_t i = 0; i < n; ++i) sum += rule->w[i] * std::pow(rule->t[i], static_cast<double>(k));
                EXPECT_NEAR(sum / static_cast<double>(exact), 1.0, 1e-14 * static_cast<double>(k + 1))
                    << name << " n=" << n << " k=" << k;
            }
        }
        if (std::string(name) == "short") {
            EXPECT_EQ(built, 4u);  // the hull of the weight is a plain interval
        }
    }
    // Kept: the same rule again.
    EXPECT_EQ(gauss.rule(7, pieces, value), gauss.rule(7, pieces, value));
    halomag::quadrature::WeightedGauss negative, empty;
    const auto dipping = [&](std::size_t k, double t) { return value(k, t) - 0.1; };
    EXPECT_EQ(negative.rule(5, pieces, dipping), nullptr);
    EXPECT_EQ(empty.rule(5, pieces, [](std::size_t, double) { return 0.0; }), nullptr);
}
