// Central-difference derivative.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "numerics/numdiff.hpp"

namespace {

using halomag::numdiff::CBRT_EPS;
using halomag::numdiff::sderivative;

TEST(Numdiff, DefaultStepIsCubeRootOfEpsilon) {
    EXPECT_EQ(CBRT_EPS, std::cbrt(0x1p-52));
    EXPECT_EQ(CBRT_EPS, std::cbrt(std::numeric_limits<double>::epsilon()));
    static_assert(CBRT_EPS > 6.05e-6 && CBRT_EPS < 6.06e-6);
}

TEST(Numdiff, SquareIsDifferentiatedToRounding) {
    const auto square = [](double x) { return x * x; };
    EXPECT_NEAR(sderivative(square, 3.0), 6.0, 1e-9);
    // At 0 the difference of squares is exactly 0 by symmetry.
    EXPECT_EQ(sderivative(square, 0.0), 0.0);
    EXPECT_NEAR(sderivative([](double x) { return std::sin(x); }, 1.0), std::cos(1.0), 1e-10);
}

TEST(Numdiff, StepIsRelativeAndEvaluationOrderIsFixed) {
    struct Probe {
        std::vector<double>* seen;
        double operator()(double x) const {
            seen->push_back(x);
            return x;
        }
    };
    std::vector<double> seen;

    // x = 0: the absolute step is exactly h.
    EXPECT_EQ(sderivative(Probe{&seen}, 0.0), (CBRT_EPS - (-CBRT_EPS)) / (2.0 * CBRT_EPS));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], CBRT_EPS);
    EXPECT_EQ(seen[1], -CBRT_EPS);

    // x = 1e6: delta = (1e6 + 1) h, about 6.06, not 6.06e-6; and the quotient
    // divides by 2 delta, not by the difference of the rounded abscissae.
    seen.clear();
    const double x = 1e6;
    const double delta = (x + 1.0) * CBRT_EPS;
    const double got = sderivative(Probe{&seen}, x);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], x + delta);
    EXPECT_EQ(seen[1], x - delta);
    EXPECT_NEAR(seen[0] - x, 6.0554605078, 1e-9);
    EXPECT_EQ(got, ((x + delta) - (x - delta)) / (2.0 * delta));

    // An explicit step replaces the default.
    seen.clear();
    sderivative(Probe{&seen}, -1.0, 0.25);
    EXPECT_EQ(seen[0], -0.5);
    EXPECT_EQ(seen[1], -1.5);
}

TEST(Numdiff, NaNOnEitherSidePropagates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(sderivative([nan](double x) { return x > 1.0 ? nan : x; }, 1.0)));
    EXPECT_TRUE(std::isnan(sderivative([nan](double x) { return x < 1.0 ? nan : x; }, 1.0)));
    EXPECT_TRUE(std::isnan(sderivative([](double x) { return x; }, nan)));
}

}  // namespace

// The two-abscissae form: the same step, the same quotient, bit for bit.
TEST(Numdiff, PairFormIsTheSameDifference) {
    const auto f = [](double x) { return std::exp(std::sin(3.0 * x)) / (1.0 + x * x); };
    const auto f2 = [&](const double x[2], double out[2]) {
        out[0] = f(x[0]);
        out[1] = f(x[1]);
    };
    for (const double x : {-7.5, -1.0, 0.0, 1e-12, 0.3, 2.0, 1e6}) {
        EXPECT_EQ(halomag::numdiff::sderivative_pair(f2, x), halomag::numdiff::sderivative(f, x)) << x;
        EXPECT_EQ(halomag::numdiff::sderivative_pair(f2, x, 1e-3), halomag::numdiff::sderivative(f, x, 1e-3)) << x;
    }
}

