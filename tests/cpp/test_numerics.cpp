// Tanh-sinh quadrature, linear interpolation and the central difference:
// the worked values below pin the node table and the stopping rule together.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numerics/interp.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/quadrature.hpp"

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
}
