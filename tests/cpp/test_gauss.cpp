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

TEST(LogEndTable, Shape) {
    for (std::size_t n = 1; n <= gauss::LOG_END_MAX; ++n) {
        check_shape(gauss::log_end(n), n);
    }
    // The one-point rule: w = 1 and ln t = -1, so t = 1/e.
    EXPECT_EQ(gauss::log_end(1).t[0], 0x1.78b56362cef38p-2);
    EXPECT_EQ(gauss::log_end(1).w[0], 1.0);
    EXPECT_TRUE(gauss::log_end(0).empty());
    EXPECT_TRUE(gauss::log_end(gauss::LOG_END_MAX + 1).empty());
}

// Exact for t^k and t^k ln t, k <= n - 1: integrals 1/(k + 1) and
// -1/(k + 1)^2.  The roundings of t_i perturb the terms of t^k ln t by up to
// (k + 1/|ln t|)/2 ulps of t relative, which summed with the weights stays
// below (k + 1) ulps of the moment; weights and sum add about one more.
TEST(LogEndTable, ExactOnPowersAndPowersTimesLog) {
    for (std::size_t n = 1; n <= gauss::LOG_END_MAX; ++n) {
        const gauss::Rule rule = gauss::log_end(n);
        for (std::size_t k = 0; k < n; ++k) {
            const auto kk = static_cast<long double>(k);
            const long double plain = apply(rule, [kk](long double t) { return std::pow(t, kk); });
            const long double logarithmic = apply(rule, [kk](long double t) { return std::pow(t, kk) * std::log(t); });
            const long double m = 1.0L / (kk + 1.0L);
            const double err_plain = static_cast<double>(std::fabs(plain - m) / m) / EPS;
            const double err_log = static_cast<double>(std::fabs(logarithmic + m * m) / (m * m)) / EPS;
            EXPECT_LE(err_plain, 2.0 + 0.5 * static_cast<double>(k)) << "n = " << n << ", k = " << k;
            EXPECT_LE(err_log, 2.0 + static_cast<double>(k)) << "n = " << n << ", k = " << k;
        }
    }
}

// g(u) = 1/(1 + u)^2 has the antiderivative u/(1 + u) vanishing at 0, so by
// parts  integral_0^h ln(u) g(u) du = h ln(h)/(1 + h) - ln(1 + h).  The pole
// at u = -1 limits the convergence on [0, h].
double log_times_pole(double h) {
    return h * std::log(h) / (1.0 + h) - std::log1p(h);
}

TEST(LogEnd, LogSingularIntegrandOnScaledIntervals) {
    const double a = -0.375;
    const double b = 0.5;
    const double h = b - a;
    const gauss::Rule rule = gauss::log_end(24);
    const double from = gauss::integrate_from(
        [](double, double d) { return std::log(d) / ((1.0 + d) * (1.0 + d)); }, a, b, rule);
    EXPECT_NEAR(from, log_times_pole(h), 4 * EPS * std::fabs(log_times_pole(h)));
    const double to = gauss::integrate_to(
        [](double, double d) { return std::log(d) / ((1.0 + d) * (1.0 + d)); }, a, b, rule);
    EXPECT_NEAR(to, log_times_pole(h), 4 * EPS * std::fabs(log_times_pole(h)));
    // The same through the abscissa: ln|x - a| + ln|x - b| weighted so that
    // both ends are singular, split at the midpoint, one rule on each side.
    const double mid = 0.5 * (a + b);
    const auto both = [a, b](double x) {
        const double u = x - a;
        const double v = b - x;
        return std::log(u) / ((1.0 + u) * (1.0 + u)) + std::log(v) / ((1.0 + v) * (1.0 + v));
    };
    const double split = gauss::integrate_from([&](double x, double) { return both(x); }, a, mid, rule) +
                         gauss::integrate_to([&](double x, double) { return both(x); }, mid, b, rule);
    EXPECT_NEAR(split, 2 * log_times_pole(h), 8 * EPS * std::fabs(log_times_pole(h)));
}

// Convergence is geometric: with the pole at distance 1 from an end of an
// interval of length 1/2, each added node gains a fixed factor.
TEST(LogEnd, ConvergesGeometrically) {
    const auto f = [](double, double d) { return std::log(d) / ((1.0 + d) * (1.0 + d)); };
    const double exact = log_times_pole(0.5);
    const double e4 = std::fabs(gauss::integrate_from(f, 0.0, 0.5, gauss::log_end(4)) - exact);
    const double e8 = std::fabs(gauss::integrate_from(f, 0.0, 0.5, gauss::log_end(8)) - exact);
    const double e16 = std::fabs(gauss::integrate_from(f, 0.0, 0.5, gauss::log_end(16)) - exact);
    EXPECT_LT(e8, 1e-3 * e4);
    EXPECT_LT(e16, 1e-13);
    // Gauss-Legendre with as many nodes is far behind at the singular end.
    const double legendre16 = gauss::integrate([](double x) { return std::log(x) / ((1.0 + x) * (1.0 + x)); }, 0.0,
                                               0.5, gauss::legendre(16));
    EXPECT_GT(std::fabs(legendre16 - exact), 1e-5);
}

// A tiny interval next to 1: x - a formed from the abscissa would carry an
// absolute error of ulp(1), ~1e-7 relative to the distances here; the
// distance handed in is the exact product and the result is right to ulps.
TEST(LogEnd, DistanceToTheEndIsExactOnTinyIntervals) {
    const double a = 1.0;
    const double h = 0x1p-30;
    const double b = a + h;
    const double exact = h * std::log(h) - h;  // integral_0^h ln u du
    for (std::size_t n : {std::size_t{1}, std::size_t{5}, std::size_t{20}, gauss::LOG_END_MAX}) {
        const gauss::Rule rule = gauss::log_end(n);
        const double from = gauss::integrate_from([](double, double d) { return std::log(d); }, a, b, rule);
        const double to = gauss::integrate_to([](double, double d) { return std::log(d); }, a, b, rule);
        EXPECT_NEAR(from, exact, 4 * EPS * std::fabs(exact)) << "n = " << n;
        EXPECT_NEAR(to, exact, 4 * EPS * std::fabs(exact)) << "n = " << n;
    }
}

struct Call {
    double x;
    double d1;
    double d2;
};

// Each helper calls the integrand once per node in table order, with the
// distances as single products (b - a) t_i and (b - a)(1 - t_i), and the
// abscissa inside [a, b] within an ulp of the end it is measured from.
TEST(GaussHelpers, DistancesAreTheRoundedProducts) {
    const double a = 0.7;
    const double b = 2.3;
    const double h = b - a;
    for (const gauss::Rule& rule : {gauss::legendre(9), gauss::log_end(13)}) {
        std::vector<Call> from, to, between;
        gauss::integrate_from([&](double x, double d) { from.push_back({x, d, 0.0}); return 0.0; }, a, b, rule);
        gauss::integrate_to([&](double x, double d) { to.push_back({x, d, 0.0}); return 0.0; }, a, b, rule);
        gauss::integrate_between([&](double x, double da, double db) { between.push_back({x, da, db}); return 0.0; },
                                 a, b, rule);
        ASSERT_EQ(from.size(), rule.size());
        ASSERT_EQ(to.size(), rule.size());
        ASSERT_EQ(between.size(), rule.size());
        for (std::size_t i = 0; i < rule.size(); ++i) {
            EXPECT_EQ(from[i].d1, h * rule.t[i]);
            EXPECT_EQ(to[i].d1, h * rule.t[i]);
            EXPECT_EQ(between[i].d1, h * rule.t[i]);
            EXPECT_EQ(between[i].d2, h * rule.one_minus_t[i]);
            EXPECT_EQ(between[i].x, from[i].x);
            for (const Call& c : {from[i], between[i]}) {
                EXPECT_GE(c.x, a);
                EXPECT_LE(c.x, b);
                EXPECT_NEAR(c.x, a + h * rule.t[i], ulp(b));
            }
            EXPECT_GE(to[i].x, a);
            EXPECT_LE(to[i].x, b);
            EXPECT_NEAR(to[i].x, b - h * rule.t[i], ulp(b));
        }
    }
}

// With b - a rounded up, a + (b - a) t could pass b for t near 1; forming
// the abscissa from the nearer end keeps every node inside [a, b].
TEST(GaussHelpers, AbscissaeStayInsideTheInterval) {
    const double a = 1.0 - 0x1p-40;
    const double b = 1.0;
    for (std::size_t n = 1; n <= gauss::LEGENDRE_MAX; ++n) {
        gauss::integrate([&](double x) { EXPECT_TRUE(x >= a && x <= b) << x; return 0.0; }, a, b, gauss::legendre(n));
    }
    for (std::size_t n = 1; n <= gauss::LOG_END_MAX; ++n) {
        gauss::integrate_to([&](double x, double) { EXPECT_TRUE(x >= a && x <= b) << x; return 0.0; }, a, b,
                            gauss::log_end(n));
    }
}

}  // namespace

// An integrand that evaluates two nodes at once gets them in pairs (the last
// alone for odd n) and the sums come out as with one node at a time, bit
// for bit, for the plain rule and for both ends of the logarithmic one.
TEST(GaussHelpers, PairedIntegrandsGiveTheSameSums) {
    namespace gauss = halomag::quadrature::gauss;
    int pairs = 0;
    const auto f = [](double x) { return std::cos(x) / (2.0 + x); };
    const gauss::Paired paired{f, [&](const double x[2], double out[2]) {
                                   ++pairs;
                                   out[0] = f(x[0]);
                                   out[1] = f(x[1]);
                               }};
    const auto g = [](double x, double d) { return std::log(d) * std::exp(-x); };
    const gauss::Paired paired_g{g, [&](const double x[2], const double d[2], double out[2]) {
                                     ++pairs;
                                     out[0] = g(x[0], d[0]);
                                     out[1] = g(x[1], d[1]);
                                 }};
    for (const std::size_t n : {1u, 2u, 7u, 20u}) {
        pairs = 0;
        EXPECT_EQ(gauss::integrate(paired, -0.3, 1.7, gauss::legendre(n)),
                  gauss::integrate(f, -0.3, 1.7, gauss::legendre(n)));
        EXPECT_EQ(pairs, static_cast<int>(n / 2)) << n;
        EXPECT_EQ(gauss::integrate_from(paired_g, 0.2, 0.9, gauss::log_end(n)),
                  gauss::integrate_from(g, 0.2, 0.9, gauss::log_end(n)));
        EXPECT_EQ(gauss::integrate_to(paired_g, 0.2, 0.9, gauss::log_end(n)),
                  gauss::integrate_to(g, 0.2, 0.9, gauss::log_end(n)));
    }
}

