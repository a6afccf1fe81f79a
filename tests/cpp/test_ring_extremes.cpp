// The ring magnification at the extremes of its arguments: lengths near the
// overflow and subnormal limits, rings far from the lens and rings deep
// inside the Einstein radius, infinities and NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lib/inputs.hpp"
#include "lib/ring.hpp"

namespace models = halomag::models;

namespace {

constexpr double EPS = 2.220446049250313e-16;
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();
constexpr double DBL_MAX_ = std::numeric_limits<double>::max();
constexpr double DENORM_MIN = std::numeric_limits<double>::denorm_min();

double ring(double l, double r, double u) {
    const auto a = models::ring_magnification(l, r, u);
    EXPECT_TRUE(a) << l << " " << r << " " << u;
    return a ? *a : NAN_;
}

}  // namespace

TEST(RingExtremes, PowerOfTwoRescalingIsExact) {
    // The mean depends on l/u and r/u alone.  With the largest length in
    // [1, 2) the direct evaluation is used as it stands; multiplied by 2^k it
    // leaves the direct range and is brought back exactly, so the value is
    // the same bit for bit, from near the overflow limit to near underflow.
    const double cases[][3] = {{0.5, 0.3, 1.0},   {1.5, 0.7, 1.2},  {1.0, 1.0 - 1e-9, 0.3},
                               {1.9, 0.0, 0.01},  {0.25, 1.75, 0.9}, {1.2, 0.6, 1.0e-3}};
    for (const auto& c : cases) {
        const double base = ring(c[0], c[1], c[2]);
        for (const int k : {-1000, -900, -500, -201, 201, 500, 900, 1022}) {
            EXPECT_EQ(ring(std::ldexp(c[0], k), std::ldexp(c[1], k), std::ldexp(c[2], k)), base)
                << c[0] << " " << c[1] << " " << c[2] << " k=" << k;
        }
    }
}

TEST(RingExtremes, FarRingsAreOneExactly) {
    // |l - r| > 2^14 u: the true mean lies in [1, 1 + 2^-55).
    EXPECT_EQ(ring(DBL_MAX_, 0.5, 1.0), 1.0);
    EXPECT_EQ(ring(DBL_MAX_, DBL_MAX_ / 3, 1.0), 1.0);
    EXPECT_EQ(ring(0.5, DBL_MAX_, 1.0), 1.0);
    EXPECT_EQ(ring(INF, 0.5, 1.0), 1.0);
    EXPECT_EQ(ring(0.5, INF, 1.0), 1.0);
    EXPECT_EQ(ring(1.0, 0.0, 1e-300), 1.0);
    EXPECT_EQ(ring(2.0 * 16384.0 + 1.0, 1.0, 2.0), 1.0);
    // Just inside the threshold the formula gives 1 to within rounding.
    EXPECT_NEAR(ring(16383.0 + 0.5, 0.5, 1.0), 1.0, 8 * EPS);
}

TEST(RingExtremes, DeepInsideTheEinsteinRadius) {
    // s = l + r < 2^-300 u: the ring mean of u/|zeta|, (u/s)(2/pi) K(4lr/s^2).
    // K(3/4) = 2.1565156474996432354 (mpmath, 30 digits).
    const double K34 = 2.1565156474996432354;
    const double two_over_pi = 0.63661977236758134308;
    const double l = 3e-320, r = 1e-320, u = 1e-300;
    // l and r are subnormal: l + r is exact, and so is their ratio's square.
    const double want = (u / (l + r)) * two_over_pi * K34;
    EXPECT_NEAR(ring(l, r, u), want, 4 * EPS * want);
    EXPECT_NEAR(ring(3.0, 1.0, 0x1p320), 0x1p320 / 4.0 * two_over_pi * K34,
                4 * EPS * 0x1p320 / 4.0 * two_over_pi * K34);
    // The two forms agree where they meet (s = 2^-300 u).
    const double s = 0x1p-300;
    const double below = ring(0.75 * s * (1 - 4 * EPS), 0.25 * s * (1 - 4 * EPS), 1.0);
    const double above = ring(0.75 * s, 0.25 * s, 1.0);
    EXPECT_NEAR(below / above, 1.0, 16 * EPS);
    // A value beyond the largest double overflows to +inf.
    EXPECT_EQ(ring(DENORM_MIN, 0.0, 1.0), INF);
    EXPECT_EQ(ring(1e-310, 2e-310, 1e10), INF);
}

TEST(RingExtremes, PointSourceOnTheLensAndUndefinedCases) {
    EXPECT_EQ(ring(0.0, 0.0, 1.0), INF);
    EXPECT_EQ(ring(0.0, 0.0, 1e-300), INF);
    EXPECT_EQ(ring(0.0, 0.0, 1e300), INF);
    // u infinite: +inf for a finite ring, NaN when a radius is infinite too.
    EXPECT_EQ(ring(0.5, 0.3, INF), INF);
    EXPECT_TRUE(std::isnan(ring(INF, 0.3, INF)));
    // Two infinite radii have no limit; NaN anywhere gives NaN.
    EXPECT_TRUE(std::isnan(ring(INF, INF, 1.0)));
    for (const double x : {0.0, 0.5, 1e300, 1e-320}) {
        EXPECT_TRUE(std::isnan(ring(NAN_, x, 1.0)));
        EXPECT_TRUE(std::isnan(ring(x, NAN_, 1.0)));
        EXPECT_TRUE(std::isnan(ring(x, 0.5, NAN_)));
    }
}

TEST(RingExtremes, FiniteAndAtLeastOneOverTheWholeRange) {
    // Lengths from subnormal to the largest double, with u in the range the
    // Python surface passes on ([2^-1022, 2^1022]); the value is at least 1
    // (to rounding) and finite unless it exceeds the largest double, which
    // needs u/(l + r) beyond about 1e307.
    const double lengths[] = {0.0, DENORM_MIN, 1e-310, 1e-300, 1e-150, 1e-8, 0.3, 1.0,
                              3.0, 1e8,        1e150,  1e300,  DBL_MAX_};
    const double us[] = {0x1p-1022, 1e-150, 1e-8, 0.7, 1e8, 1e150, 0x1p1022};
    for (const double u : us) {
        for (const double l : lengths) {
            for (const double r : lengths) {
                const double a = ring(l, r, u);
                if (std::isinf(a)) {
                    EXPECT_GT(u / (l + r), 1e300) << l << " " << r << " " << u;
                } else {
                    EXPECT_GE(a, 1.0 - 8 * EPS) << l << " " << r << " " << u;
                }
                EXPECT_FALSE(std::isnan(a)) << l << " " << r << " " << u;
            }
        }
    }
}

TEST(InputRules, LensKindsAndLimits) {
    namespace in = models::inputs;
    using in::Lens;
    EXPECT_EQ(in::lens_kind(1.0, 0.5), Lens::Finite);
    EXPECT_EQ(in::lens_kind(-1.0, -0.5), Lens::Finite);
    EXPECT_EQ(in::lens_kind(0.0, 0.5), Lens::None);
    EXPECT_EQ(in::lens_kind(-0.0, 0.5), Lens::None);
    EXPECT_EQ(in::lens_kind(1.0, -INF), Lens::None);
    EXPECT_EQ(in::lens_kind(1e-200, 1e200), Lens::None);
    EXPECT_EQ(in::lens_kind(-INF, 0.5), Lens::Infinite);
    EXPECT_EQ(in::lens_kind(1e200, 1e-200), Lens::Infinite);
    EXPECT_EQ(in::lens_kind(0x1p1022, 1.0), Lens::Finite);
    EXPECT_EQ(in::lens_kind(0x1p-1022, 1.0), Lens::Finite);
    EXPECT_EQ(in::lens_kind(0x1p1022, 0.5), Lens::Infinite);
    EXPECT_EQ(in::lens_kind(0x1p-1022, 2.0), Lens::None);
    EXPECT_EQ(in::lens_kind(1.0, 0.0), Lens::Undefined);
    EXPECT_EQ(in::lens_kind(0.0, 0.0), Lens::Undefined);
    EXPECT_EQ(in::lens_kind(INF, INF), Lens::Undefined);
    EXPECT_EQ(in::lens_kind(NAN_, 1.0), Lens::Undefined);
    EXPECT_EQ(in::lens_kind(1.0, NAN_), Lens::Undefined);

    EXPECT_EQ(in::limit_magnification(Lens::None, INF), 1.0);
    EXPECT_TRUE(std::isnan(in::limit_magnification(Lens::None, NAN_)));
    EXPECT_EQ(in::limit_magnification(Lens::Infinite, 0.0), INF);
    EXPECT_TRUE(std::isnan(in::limit_magnification(Lens::Infinite, INF)));
    EXPECT_TRUE(std::isnan(in::limit_magnification(Lens::Infinite, 0.5, INF)));
    EXPECT_TRUE(std::isnan(in::limit_magnification(Lens::Undefined, 0.5)));
    EXPECT_EQ(in::distance(-0.0), 0.0);
    EXPECT_FALSE(std::signbit(in::distance(-0.0)));
}
