// Gauss rules: the shape of the tables, exactness on the functions each rule
// is built for (against exact rationals), closed-form integrals on scaled
// intervals, and the distances handed to the integrand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "numerics/gauss.hpp"

namespace {

namespace gauss = halomag::quadrature::gauss;

constexpr double EPS = std::numeric_limits<double>::epsilon();

double ulp(double x) {
    return std::nextafter(std::fabs(x), std::numeric_limits<double>::infinity()) - std::fabs(x);
}

// Sum_i w_i g(t_i) in long double, so that the arithmetic adds next to nothing
// to the error the rounded table entries leave.
template <class G>
long double apply(const gauss::Rule& rule, G g) {
    long double sum = 0.0L;
    for (std::size_t i = 0; i < rule.size(); ++i) {
        sum += static_cast<long double>(rule.w[i]) * g(static_cast<long double>(rule.t[i]));
    }
    return sum;
}

// Shared checks of one rule: nodes ascending in (0, 1), complements that
// agree with 1 - t to within the two roundings, positive weights summing to 1.
void check_shape(const gauss::Rule& rule, std::size_t n) {
    ASSERT_EQ(rule.size(), n);
    ASSERT_EQ(rule.one_minus_t.size(), n);
    ASSERT_EQ(rule.w.size(), n);
    long double total = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = rule.t[i];
        const double c = rule.one_minus_t[i];
        EXPECT_GT(t, 0.0) << "n = " << n << ", i = " << i;
        EXPECT_LT(t, 1.0) << "n = " << n << ", i = " << i;
        EXPECT_GT(c, 0.0) << "n = " << n << ", i = " << i;
        EXPECT_GT(rule.w[i], 0.0) << "n = " << n << ", i = " << i;
        if (i > 0) {
            EXPECT_GT(t, rule.t[i - 1]) << "n = " << n << ", i = " << i;
            EXPECT_LT(c, rule.one_minus_t[i - 1]) << "n = " << n << ", i = " << i;
        }
        // t + c = 1 up to half an ulp of each (long double holds t + c - 1 exactly
        // enough here: both are above 2^-1100 and the sum is near 1).
        const long double excess = (static_cast<long double>(t) - 1.0L) + static_cast<long double>(c);
        EXPECT_LE(std::fabs(static_cast<double>(excess)), 0.5 * (ulp(t) + ulp(c))) << "n = " << n << ", i = " << i;
        total += rule.w[i];
    }
    EXPECT_NEAR(static_cast<double>(total), 1.0, 2 * EPS) << "n = " << n;
}

TEST(GaussLegendreTable, ShapeAndSymmetry) {
    for (std::size_t n = 1; n <= gauss::LEGENDRE_MAX; ++n) {
        const gauss::Rule rule = gauss::legendre(n);
        check_shape(rule, n);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(rule.t[n - 1 - i], rule.one_minus_t[i]) << "n = " << n << ", i = " << i;
            EXPECT_EQ(rule.w[n - 1 - i], rule.w[i]) << "n = " << n << ", i = " << i;
        }
    }
    EXPECT_EQ(gauss::legendre(1).t[0], 0.5);
    EXPECT_EQ(gauss::legendre(1).w[0], 1.0);
}

TEST(GaussLegendreTable, RequestsOutsideTheTableAreEmptyAndIntegrateToNaN) {
    for (std::size_t n : {std::size_t{0}, gauss::LEGENDRE_MAX + 1, std::numeric_limits<std::size_t>::max()}) {
        const gauss::Rule rule = gauss::legendre(n);
        EXPECT_TRUE(rule.empty());
        const auto one = [](double) { return 1.0; };
        EXPECT_TRUE(std::isnan(gauss::integrate(one, 0.0, 1.0, rule)));
        EXPECT_TRUE(std::isnan(gauss::integrate_from([](double, double) { return 1.0; }, 0.0, 1.0, rule)));
        EXPECT_TRUE(std::isnan(gauss::integrate_to([](double, double) { return 1.0; }, 0.0, 1.0, rule)));
        EXPECT_TRUE(std::isnan(gauss::integrate_between([](double, double, double) { return 1.0; }, 0.0, 1.0, rule)));
    }
}

// Exact for t^k, k <= 2n - 1: integral 1/(k + 1).  Rounding t_i perturbs t_i^k
// by up to k/2 ulps, so the bound grows with k; the weights and the sum add
// about one ulp.
TEST(GaussLegendreTable, ExactOnPolynomials) {
    double worst = 0.0;
    for (std::size_t n = 1; n <= gauss::LEGENDRE_MAX; ++n) {
        const gauss::Rule rule = gauss::legendre(n);
        for (std::size_t k = 0; k <= 2 * n - 1; ++k) {
            const long double exact = 1.0L / static_cast<long double>(k + 1);
            const long double got = apply(rule, [k](long double t) { return std::pow(t, static_cast<long double>(k)); });
            const double err = static_cast<double>(std::fabs(got - exact) / exact) / EPS;
            worst = std::max(worst, err / (2.0 + 0.5 * static_cast<double>(k)));
            EXPECT_LE(err, 2.0 + 0.5 * static_cast<double>(k)) << "n = " << n << ", k = " << k;
        }
    }
    RecordProperty("worst_fraction_of_bound", std::to_string(worst));
}

TEST(GaussLegendre, SmoothIntegrandsOnScaledIntervals) {
    // exp on [-1.5, 2.25]: entire, 14 nodes reach double precision.
    const double e = gauss::integrate([](double x) { return std::exp(x); }, -1.5, 2.25, gauss::legendre(14));
    EXPECT_NEAR(e, std::exp(2.25) - std::exp(-1.5), 4 * EPS * std::exp(2.25));
    // 1/(1 + x^2) on [0.5, 3]: poles at +-i, the Bernstein ellipse of the
    // interval reaches them at rho ~ 2.1, so 40 nodes are plenty.
    const double r = gauss::integrate([](double x) { return 1.0 / (1.0 + x * x); }, 0.5, 3.0, gauss::legendre(40));
    EXPECT_NEAR(r, std::atan(3.0) - std::atan(0.5), 4 * EPS);
    // Reversed limits give the oriented integral.
    const double back = gauss::integrate([](double x) { return std::exp(x); }, 2.25, -1.5, gauss::legendre(14));
    EXPECT_NEAR(back, -e, 4 * EPS * std::exp(2.25));
}

}  // namespace
