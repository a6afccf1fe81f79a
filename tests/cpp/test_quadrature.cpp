// Tanh-sinh quadrature: node table, refinement and stopping rule.
//
// The exact values below are those of the rule as defined (centre plus seven
// nested levels over t in (0, 3], stopping test from the third level on); the
// approximate ones are checked against closed-form integrals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "numerics/quadrature.hpp"

namespace {

namespace de = halomag::quadrature::double_exponential;
namespace tab = halomag::quadrature::double_exponential::table;

constexpr double pi = std::numbers::pi;

double limb_darkened_flux_density(double r) {
    return 2.0 * pi * r * ((1.0 - std::sqrt(1.0 - r * r)) * (-0.6) + 1.0);
}

TEST(QuadratureTable, LevelsAreNestedOddMultiplesInIncreasingOrder) {
    const std::size_t expected_pairs[] = {3, 3, 6, 12, 24, 48, 96};
    ASSERT_EQ(tab::LEVEL_OFFSET.front(), 0u);
    ASSERT_EQ(tab::LEVEL_OFFSET.back(), tab::NODES.size());
    for (std::size_t level = 0; level < tab::LEVELS; ++level) {
        const std::size_t first = tab::LEVEL_OFFSET[level];
        const std::size_t last = tab::LEVEL_OFFSET[level + 1];
        EXPECT_EQ(last - first, expected_pairs[level]) << "level " << level;
        for (std::size_t k = first; k < last; ++k) {
            const tab::Node& node = tab::NODES[k];
            EXPECT_GT(node.abscissa, 0.0);
            EXPECT_LT(node.abscissa, 1.0);
            EXPECT_GT(node.weight, 0.0);
            if (k > first) {
                EXPECT_GT(node.abscissa, tab::NODES[k - 1].abscissa) << "level " << level;
            }
            // Spot check against the rule in libm double arithmetic, which is
            // accurate to some ulps near the middle of the range.
            const double h = level == 0 ? 1.0 : std::ldexp(1.0, -static_cast<int>(level));
            const double t = level == 0 ? static_cast<double>(k - first + 1)
                                        : static_cast<double>(2 * (k - first) + 1) * h;
            if (t <= 1.5) {
                const double u = pi / 2 * std::sinh(t);
                EXPECT_NEAR(node.abscissa, std::tanh(u), 4e-16);
                const double w = h * pi / 2 * std::cosh(t) / (std::cosh(u) * std::cosh(u));
                EXPECT_NEAR(node.weight, w, 4e-15 * w);
            }
        }
    }
}

TEST(DoubleExponential, WorkedChecksAreExact) {
    // Built-in linear limb darkening, coefficient 0.6: the stored normaliser.
    const auto profile = de::integrate(limb_darkened_flux_density, 0.0, 1.0, 1e-16);
    EXPECT_EQ(profile.integral, 2.5132741228717936);
    EXPECT_EQ(profile.evaluations, 385u);
    EXPECT_NEAR(profile.error_estimate, 9.77e-15, 0.01e-15);

    // The rule truncated at t = 3 misses about 3.3e-14 of a constant.
    const auto one = de::integrate([](double) { return 1.0; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(one.integral, 0.9999999999999669);
    EXPECT_EQ(one.evaluations, 385u);

    const auto square = de::integrate([](double r) { return r * r; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(square.integral, 0.3333333333333167);
    EXPECT_EQ(square.evaluations, 385u);
}

TEST(DoubleExponential, ZeroIntegrandStopsAtFirstTest) {
    const auto out = de::integrate([](double) { return 0.0; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(out.integral, 0.0);
    EXPECT_EQ(out.error_estimate, 0.0);
    EXPECT_EQ(out.evaluations, 25u);  // centre + levels 0, 1, 2
}

TEST(DoubleExponential, NonFiniteValuesCountAsZero) {
    // Same nodes, once reporting NaN / +inf / -inf and once 0: bitwise equal.
    const auto reference = [](double r) { return r > 0.75 ? 0.0 : std::exp(r); };
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    const auto expected = de::integrate(reference, 0.0, 1.0, 1e-16);
    for (const double value : bad) {
        const auto got =
            de::integrate([value](double r) { return r > 0.75 ? value : std::exp(r); }, 0.0, 1.0, 1e-16);
        EXPECT_EQ(got.integral, expected.integral) << value;
        EXPECT_EQ(got.error_estimate, expected.error_estimate) << value;
        EXPECT_EQ(got.evaluations, expected.evaluations) << value;
    }
    // A NaN at the centre node only removes the centre's share, pi/2^7 times
    // the half-width 1/2.
    const auto nan_centre = de::integrate(
        [](double r) { return r == 0.5 ? std::numeric_limits<double>::quiet_NaN() : 1.0; }, 0.0, 1.0, 1e-16);
    const auto zero_centre = de::integrate([](double r) { return r == 0.5 ? 0.0 : 1.0; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(nan_centre.integral, zero_centre.integral);
    EXPECT_NEAR(nan_centre.integral, 1.0 - pi / 256.0, 1e-13);
}

TEST(DoubleExponential, EvaluationOrderIsCentreThenRightThenLeft) {
    std::vector<double> seen;
    const double a = -1.0;
    const double b = 3.0;  // c = 2, d = 1
    const auto out = de::integrate(
        [&seen](double x) {
            seen.push_back(x);
            return 1.0;
        },
        a, b, 1e-16);
    ASSERT_EQ(seen.size(), out.evaluations);
    EXPECT_EQ(seen[0], 1.0);
    for (std::size_t k = 0; k < tab::NODES.size() && 2 * k + 2 < seen.size(); ++k) {
        EXPECT_EQ(seen[2 * k + 1], 1.0 + 2.0 * tab::NODES[k].abscissa) << k;
        EXPECT_EQ(seen[2 * k + 2], 1.0 - 2.0 * tab::NODES[k].abscissa) << k;
    }
}

TEST(DoubleExponential, GeneralIntervalsAndEndSingularities) {
    // Closed forms: int_0^pi sin = 2; int_{-2}^{5} x^3 = (625 - 16)/4;
    // int_0^1 1/sqrt(x) = 2 (only tanh-sinh gets that to ~1e-7 with 385 points,
    // the remainder being the tail beyond t = 3).
    EXPECT_NEAR(de::integrate([](double x) { return std::sin(x); }, 0.0, pi, 1e-16).integral, 2.0, 1e-13);
    EXPECT_NEAR(de::integrate([](double x) { return x * x * x; }, -2.0, 5.0, 1e-16).integral, 609.0 / 4.0,
                1e-10);
    EXPECT_NEAR(de::integrate([](double x) { return 1.0 / std::sqrt(x); }, 0.0, 1.0, 1e-16).integral, 2.0,
                1e-6);
}

TEST(DoubleExponential, LooseTargetStopsEarlyAtALevelBoundary) {
    const auto out = de::integrate([](double x) { return std::exp(x); }, 0.0, 1.0, 1e-6);
    EXPECT_LT(out.evaluations, 385u);
    const std::uint32_t boundaries[] = {25, 49, 97, 193};
    bool at_boundary = false;
    for (const auto count : boundaries) {
        at_boundary = at_boundary || out.evaluations == count;
    }
    EXPECT_TRUE(at_boundary) << out.evaluations;
    EXPECT_LT(out.error_estimate, 1e-6);
    EXPECT_NEAR(out.integral, std::numbers::e - 1.0, 1e-6);
}

TEST(DoubleExponential, NestedIntegrationIsReentrant) {
    // int_0^1 int_0^1 (x + y) dy dx = 1.
    const auto outer = de::integrate(
        [](double x) { return de::integrate([x](double y) { return x + y; }, 0.0, 1.0, 1e-16).integral; },
        0.0, 1.0, 1e-16);
    EXPECT_NEAR(outer.integral, 1.0, 1e-13);
}

}  // namespace
