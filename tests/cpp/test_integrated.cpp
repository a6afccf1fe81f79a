// Limb-darkened and flux-map magnifications against an independent mpmath
// computation of the brightness-weighted mean of the point-lens magnification
// over the disk (scripts/gen_limb_darkened_reference.py, 30 digits).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "lib/disk_route.hpp"
#include "lib/failure.hpp"
#include "lib/integrated.hpp"
#include "lib/models.hpp"
#include "reference_data.hpp"

namespace models = halomag::models;
using halomag::testing::relative_error;

namespace {

// The ring route's results (these calls have no interrupt, so no error).
std::vector<double> ih(std::vector<double> l, double re, double rstar) {
    return models::integrated_heyrovsky_magnification(std::move(l), re, rstar).value();
}
std::vector<double> ifh(std::vector<double> l, std::vector<double> bl, std::vector<double> bf,
                        double re, double rstar) {
    return models::integrated_flux_map_heyrovsky_magnification(std::move(l), std::move(bl),
                                                               std::move(bf), re, rstar)
        .value();
}

struct Table {
    std::vector<double> bl, bf;
};

// The tables the generator uses, in the same order as its PROFILES.
std::map<std::string, Table> tables() {
    std::vector<double> sampled_r{0.0, 0.25, 0.5, 0.75, 0.9, 1.0}, sampled_f;
    for (const double r : sampled_r) sampled_f.push_back(1.0 - 0.6 * (1.0 - std::sqrt(1.0 - r * r)));
    return {{"uniform", {{0.0, 1.0}, {1.0, 1.0}}},
            {"sampled", {sampled_r, sampled_f}},
            {"short", {{0.0, 0.4, 0.7}, {1.0, 0.9, 0.5}}},
            {"single", {{0.5}, {2.0}}},
            {"uneven", {{0.0, 0.1, 0.35, 0.8, 1.3}, {0.3, 1.0, 0.7, 0.6, 0.1}}}};
}

struct Case {
    std::string profile;
    double l, rho, value;
};

std::vector<Case> reference_cases() {
    std::ifstream in(std::string(HALOMAG_TEST_DATA_DIR) + "/limb_darkened_reference.txt");
    std::vector<Case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Case c;
        std::string l, rho, value;
        fields >> c.profile >> l >> rho >> value;
        c.l = std::strtod(l.c_str(), nullptr);
        c.rho = std::strtod(rho.c_str(), nullptr);
        c.value = std::strtod(value.c_str(), nullptr);
        cases.push_back(c);
    }
    return cases;
}

}  // namespace

TEST(Integrated, MatchesReference) {
    const auto cases = reference_cases();
    ASSERT_GE(cases.size(), 90u);
    const auto maps = tables();
    double worst_h = 0, worst_w = 0, worst_fh = 0, worst_fw = 0;
    for (const Case& c : cases) {
        if (c.profile == "builtin") {
            const double h = ih({c.l}, 1.0, c.rho)[0];
            const auto w = models::integrated_witt_mao_magnification({c.l}, 1.0, c.rho);
            ASSERT_TRUE(w);
            const double eh = relative_error(h, c.value), ew = relative_error((*w)[0], c.value);
            EXPECT_LE(eh, 1e-14) << "builtin l=" << c.l << " rho=" << c.rho;
            EXPECT_LE(ew, 1e-9) << "builtin l=" << c.l << " rho=" << c.rho;
            worst_h = std::max(worst_h, eh);
            worst_w = std::max(worst_w, ew);
        } else {
            const Table& t = maps.at(c.profile);
            const double h =
                ifh({c.l}, t.bl, t.bf, 1.0, c.rho)[0];
            const auto w =
                models::integrated_flux_map_witt_mao_magnification({c.l}, t.bl, t.bf, 1.0, c.rho);
            ASSERT_TRUE(w);
            const double eh = relative_error(h, c.value), ew = relative_error((*w)[0], c.value);
            EXPECT_LE(eh, 1e-14) << c.profile << " l=" << c.l << " rho=" << c.rho;
            EXPECT_LE(ew, 1e-9) << c.profile << " l=" << c.l << " rho=" << c.rho;
            worst_fh = std::max(worst_fh, eh);
            worst_fw = std::max(worst_fw, ew);
        }
    }
    std::printf("worst relative errors: heyrovsky %.3g, witt-mao %.3g, flux-map heyrovsky %.3g, "
                "flux-map witt-mao %.3g\n", worst_h, worst_w, worst_fh, worst_fw);
}

// When no node has a value the integral is NaN, not a magnification of 0;
// a few failing nodes are still counted as 0 and leave a number.
TEST(Integrated, NoValueAnywhereIsNaN) {
    const double nan = std::nan("");
    const std::vector<double> bl{0.0, 0.5, 1.0}, bf{1.0, 0.8, 0.5};
    EXPECT_TRUE(std::isnan(ih({nan}, 1.0, 0.5)[0]));
    EXPECT_TRUE(std::isnan((*models::integrated_witt_mao_magnification({nan}, 1.0, 0.5))[0]));
    EXPECT_TRUE(std::isnan(ifh({nan}, bl, bf, 1.0, 0.5)[0]));
    EXPECT_TRUE(std::isnan((*models::integrated_flux_map_witt_mao_magnification({nan}, bl, bf, 1.0, 0.5))[0]));
    // rstar = 0: the uniform disk is NaN, and so is every ring.
    EXPECT_TRUE(std::isnan(ih({0.5}, 1.0, 0.0)[0]));
    EXPECT_TRUE(std::isnan((*models::integrated_witt_mao_magnification({0.5}, 1.0, 0.0))[0]));
    // The others in the same list are unaffected.
    const auto mixed = ih({0.5, nan, 0.5}, 1.0, 0.5);
    EXPECT_EQ(mixed[0], mixed[2]);
    EXPECT_GT(mixed[0], 1.0);
}

TEST(Integrated, CrossChecks) {
    const std::vector<double> l{0.0, 0.4, 0.99, 1.5, 3.0};
    const double rho = 0.2;
    const auto uniform = *models::witt_mao_magnification(l, 1.0, rho);
    const std::vector<double> bl{0.0, 1.0}, bf{1.0, 1.0};
    const auto fh = ifh(l, bl, bf, 1.0, rho);
    const auto fw = *models::integrated_flux_map_witt_mao_magnification(l, bl, bf, 1.0, rho);
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_NEAR(fh[i] / uniform[i], 1.0, 1e-12) << l[i];
        // A uniform profile has p' = 0: the route is the disk itself.
        EXPECT_NEAR(fw[i] / uniform[i], 1.0, 1e-9) << l[i];
    }
    // The two routes agree for the built-in profile too, to the uniform-disk
    // route's accuracy.
    const auto h = ih(l, 1.0, rho);
    const auto w = *models::integrated_witt_mao_magnification(l, 1.0, rho);
    for (std::size_t i = 0; i < l.size(); ++i) EXPECT_NEAR(w[i] / h[i], 1.0, 1e-9) << l[i];
    // Doubling the fluxes doubles the discrete sum and leaves the integrated
    // (normalised) results unchanged.
    const std::vector<double> rbl{0.1, 0.5, 0.9}, rbf{0.2, 0.5, 0.3}, rbf2{0.4, 1.0, 0.6};
    const auto d1 = *models::discrete_flux_map_heyrovsky_magnification(l, rbl, rbf, 1.0, rho);
    const auto d2 = *models::discrete_flux_map_heyrovsky_magnification(l, rbl, rbf2, 1.0, rho);
    const auto i1 = ifh(l, rbl, rbf, 1.0, rho);
    const auto i2 = ifh(l, rbl, rbf2, 1.0, rho);
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_EQ(d2[i], 2.0 * d1[i]);
        EXPECT_NEAR(i2[i], i1[i], 1e-14 * i1[i]);
    }
    // A single ring: the discrete sum is that ring's magnification.
    const auto single = *models::discrete_flux_map_heyrovsky_magnification({0.7}, {0.5}, {1.0}, 1.0, rho);
    EXPECT_EQ(single[0], *models::heyrovsky_magnification(0.7, 0.5, 1.0, rho));
    // Far from the star everything tends to 1, through both routes.
    const double far_h = ih({1e4}, 1.0, rho)[0];
    EXPECT_NEAR(far_h, 1.0, 1e-12);
    EXPECT_NEAR(ifh({1e4}, rbl, rbf, 1.0, rho)[0], 1.0, 1e-12);
    EXPECT_NEAR((*models::integrated_witt_mao_magnification({1e4}, 1.0, rho))[0], 1.0, 1e-12);
    EXPECT_NEAR((*models::integrated_flux_map_witt_mao_magnification({1e4}, rbl, rbf, 1.0, rho))[0], 1.0,
                1e-12);
    const double mid_fh = ifh({100.0}, rbl, rbf, 1.0, rho)[0];
    EXPECT_NEAR((*models::integrated_flux_map_witt_mao_magnification({100.0}, rbl, rbf, 1.0, rho))[0],
                mid_fh, 1e-12);
    const double mid_h = ih({100.0}, 1.0, rho)[0];
    EXPECT_NEAR((*models::integrated_witt_mao_magnification({100.0}, 1.0, rho))[0], mid_h, 1e-12);
}

TEST(Integrated, EdgeCases) {
    EXPECT_TRUE(ih({}, 1.0, 1.0).empty());
    EXPECT_TRUE(models::integrated_witt_mao_magnification({}, 1.0, 1.0)->empty());
    // Unequal tables fail even for an empty separation list.
    EXPECT_THROW(models::discrete_flux_map_heyrovsky_magnification({}, {0.0, 1.0}, {1.0}, 1.0, 1.0),
                 halomag::InternalFailure);
    EXPECT_THROW(ifh({}, {0.0}, {}, 1.0, 1.0),
                 halomag::InternalFailure);
    EXPECT_THROW(models::integrated_flux_map_witt_mao_magnification({}, {}, {1.0}, 1.0, 1.0),
                 halomag::InternalFailure);
    // Empty tables: the discrete sum is 0, the integrated profile has no flux.
    const auto d = *models::discrete_flux_map_heyrovsky_magnification({0.5, 2.0}, {}, {}, 1.0, 1.0);
    EXPECT_EQ(d, (std::vector<double>{0.0, 0.0}));
    EXPECT_TRUE(std::isnan(ifh({0.5}, {}, {}, 1.0, 1.0)[0]));
    EXPECT_TRUE(std::isnan((*models::integrated_flux_map_witt_mao_magnification({0.5}, {}, {}, 1.0, 1.0))[0]));
    // Repeated separations give identical results.
    const auto rep = ih({0.7, 0.7}, 1.0, 0.3);
    EXPECT_EQ(rep[0], rep[1]);
}

// The uniform-disk route at its hard places (scripts/gen_disk_route_reference.py):
// the lens on and next to the centre, within 1e-6 of the limb, on a knot,
// and far out.
TEST(Integrated, DiskRouteAtItsHardPlaces) {
    std::ifstream in(std::string(HALOMAG_TEST_DATA_DIR) + "/disk_route_reference.txt");
    const auto maps = tables();
    std::string line;
    std::size_t count = 0;
    double worst = 0.0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string profile, l, rho, value;
        fields >> profile >> l >> rho >> value;
        const double li = std::strtod(l.c_str(), nullptr), r = std::strtod(rho.c_str(), nullptr);
        const double want = std::strtod(value.c_str(), nullptr);
        const auto got = profile == "builtin"
                             ? models::integrated_witt_mao_magnification({li}, 1.0, r)
                             : models::integrated_flux_map_witt_mao_magnification(
                                   {li}, maps.at(profile).bl, maps.at(profile).bf, 1.0, r);
        ASSERT_TRUE(got);
        const double err = relative_error((*got)[0], want);
        worst = std::max(worst, err);
        EXPECT_LE(err, 1e-9) << profile << " l=" << li << " rho=" << r;
        ++count;
    }
    EXPECT_GE(count, 80u);
    std::printf("uniform-disk route: worst relative error %.3g over %zu cases\n", worst, count);
}

// The uniform-disk route's grading towards a singularity just beyond a
// part's end: int_0^1 ln(1 + d - t) dt (and its mirror image) to the route's
// rule tolerance, in a number of evaluations that grows like ln(1/d), not
// like the parts of a bisection (8 nodes per halving: 240 at d = 1e-9,
// 320 at 1e-12; the map's rules, sized for the growth of x = h e^s, take
// 103 there).  Where the point is an image of the lens the map centred on it
// takes fewer still (20 for 29 at d = 1e-2, 52 for 59 at 1e-6, 96 at 1e-12).
TEST(Integrated, DiskRouteGradesTowardsANearSingularity) {
    namespace d = models::detail;
    for (const double gap : {1e-2, 1e-4, 1e-6, 1e-9, 1e-12}) {
        // (1 + d) ln(1 + d) - 1 - d ln d
        const double want = (1.0 + gap) * std::log1p(gap) - 1.0 - gap * std::log(gap);
        for (const bool right : {true, false}) {
            const double at = right ? 1.0 + gap : -gap;
            const std::vector<models::Singularity> points{{at, 0.0}, {0.5, 2.0}};
            int evaluations = 0;
            const auto f = [&](double t) {
                ++evaluations;
                return std::log(right ? (1.0 + gap) - t : t + gap);
            };
            const double got = d::graded_parts(0.0, 1.0, points, std::numeric_limits<double>::quiet_NaN(), 12, f,
                                               [&](double x, double y, double n) {
                                                   return halomag::quadrature::gauss::integrate(
                                                       f, x, y, halomag::quadrature::gauss::legendre(static_cast<std::size_t>(n)));
                                               });
            EXPECT_LE(relative_error(got, want), 5e-11) << "d=" << gap << " right=" << right;
            EXPECT_LE(evaluations, 110) << "d=" << gap;
            // The same point as an image of the lens, where an integrand by
            // parts is phi ln(x + d) + psi: one rule in ln((x + d)/d), in
            // which this logarithm is linear (the centre, where phi and psi
            // may be singular, given far off).
            const std::vector<models::Singularity> lens{{at, 0.0, true}, {0.5, 2.0}};
            const int graded = evaluations;
            evaluations = 0;
            const double mapped = d::graded_parts(0.0, 1.0, lens, std::numeric_limits<double>::quiet_NaN(), 12, f,
                                                  [&](double x, double y, double n) {
                                                      return halomag::quadrature::gauss::integrate(
                                                          f, x, y, halomag::quadrature::gauss::legendre(static_cast<std::size_t>(n)));
                                                  }, 0, right ? -10.0 : 11.0);
            EXPECT_LE(relative_error(mapped, want), 5e-11) << "d=" << gap << " right=" << right;
            EXPECT_LT(evaluations, graded) << "d=" << gap;
        }
    }
}

// The far path's product rule: its weights, built from a kinked table,
// integrate p(r) r^k over [0, 1] exactly (to rounding) for every k below
// the rule's size, the kinks included.  Exact values from the pieces' lines:
// int_a^b (c0 + c1 r) r^k dr.
// Integrated by parts over the whole star, with no derivative of the disk
// magnification formed numerically, and with the ring mean's complex
// singularities r = +-l +- 2i re/rstar among those that size its rules, the
// uniform-disk route agrees with the ring route far inside its bound of
// 1e-9: random tables (positive, with steps and steep ends) and separations
// over l < 3, dense at the limb, the centre and the knots, Einstein radii
// from 1e-4 to 10 stellar radii.  (Measured: below 7e-13 down to re/rstar =
// 1e-3; 4.7e-12 below it, where those singularities are left out.  A
// central difference beyond half a stellar radius from the lens left about
// 1e-10; rules blind to the complex singularities, 1.1e-10 at re/rstar =
// 0.01 with the lens on the centre.)
TEST(Integrated, DiskRouteAgreesWithTheRingRoute) {
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    const auto uniform = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1p-53;
    };
    double worst = 0.0;
    for (int t = 0; t < 12; ++t) {
        const int knots = 2 + static_cast<int>(uniform() * 14.0);
        std::vector<double> bl{0.0, 1.0}, bf;
        for (int k = 2; k < knots; ++k) bl.push_back(uniform());
        std::sort(bl.begin(), bl.end());
        for (std::size_t k = 0; k < bl.size(); ++k) bf.push_back(t % 3 == 0 ? 1.0 - 0.9 * bl[k] * bl[k] : 0.05 + uniform());
        std::vector<double> l;
        for (int i = 0; i < 40; ++i) l.push_back(3.0 * uniform());
        for (const double d : {0.0, 1e-9, 1e-6, 1e-3}) {
            l.push_back(1.0 - d);
            l.push_back(1.0 + d);
            l.push_back(d);
        }
        for (std::size_t k = 1; k + 1 < bl.size(); ++k) l.push_back(bl[k] * (1.0 + 1e-7));
        for (const double rho : {0.1, 0.5, 1.0, 2.0, 3.0, 10.0, 100.0, 1000.0, 3000.0, 1e4}) {
            const auto w = *models::integrated_flux_map_witt_mao_magnification(l, bl, bf, 1.0, rho);
            const auto h = ifh(l, bl, bf, 1.0, rho);
            for (std::size_t i = 0; i < l.size(); ++i) {
                const double e = relative_error(w[i], h[i]);
                worst = std::max(worst, e);
                EXPECT_LE(e, 2e-11) << "table " << t << " l=" << l[i] << " rho=" << rho;
            }
        }
    }
    std::printf("uniform-disk route against the ring route: worst relative difference %.3g\n", worst);
}

TEST(Integrated, ProductRuleExactForPolynomials) {
    const std::vector<double> bl{0.0, 0.13, 0.5, 0.51, 0.9, 1.0}, bf{1.0, 0.7, 0.95, 0.2, 0.6, 0.1};
    const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    halomag::quadrature::ProductRule product;
    std::vector<std::array<double, 2>> pieces;
    for (std::size_t k = 0; k + 1 < bl.size(); ++k) pieces.push_back({bl[k], bl[k + 1]});
    const auto value = [&](std::size_t k, double t) { return models::restrict_to(table, bl[k], bl[k + 1]).value(t); };
    for (const std::size_t n : {3u, 8u, 15u, 32u}) {
        const std::vector<double>& w = product.weights(n, pieces, value);
        const auto rule = halomag::quadrature::gauss::legendre(n);
        for (std::size_t k = 0; k < n; ++k) {
            double want = 0.0, got = 0.0;
            for (std::size_t j = 0; j + 1 < bl.size(); ++j) {
                const double a = bl[j], b = bl[j + 1];
                const double c1 = (bf[j + 1] - bf[j]) / (b - a), c0 = bf[j] - c1 * a;
                const double m = static_cast<double>(k);
                want += c0 * (std::pow(b, m + 1) - std::pow(a, m + 1)) / (m + 1) +
                        c1 * (std::pow(b, m + 2) - std::pow(a, m + 2)) / (m + 2);
            }
            for (std::size_t i = 0; i < n; ++i) got += w[i] * std::pow(rule.t[i], static_cast<double>(k));
            EXPECT_NEAR(got, want, 1e-14 * std::fabs(want) + 1e-16) << "n=" << n << " k=" << k;
        }
        // The weights are cached per size: the same vector again.
        EXPECT_EQ(&product.weights(n, pieces, value), &w);
    }
}

// Where the band about the lens (integrated by parts) starts or stops
// overlapping the star, the pieces change; the result must not jump.  A
// table's band edges move in sixteenths: where one steps, the region beyond
// it (one rule for a table of many radii) changes as well, and inside the
// band an eighth of the star is one rule from its own length away from the
// lens on.
TEST(Integrated, DiskRouteContinuousWhereItsPiecesChange) {
    const std::vector<double> bl{0.0, 0.25, 0.5, 0.75, 0.9, 1.0}, bf{1.0, 0.98, 0.92, 0.8, 0.66, 0.4};
    std::vector<double> dense_bl, dense_bf;
    for (int k = 0; k <= 50; ++k) {
        dense_bl.push_back(k == 50 ? 1.0 : std::sin(3.141592653589793 * k / 100.0));
        dense_bf.push_back(models::LinearLimbDarkening{}(dense_bl.back()));
    }
    for (const double edge : {models::DISK_ROUTE_BAND, 1.0 - models::DISK_ROUTE_BAND,
                              1.0 + models::DISK_ROUTE_BAND, 0.5 + models::DISK_ROUTE_BAND,
                              models::DISK_ROUTE_BAND + 5.0 / 16.0, models::DISK_ROUTE_BAND + 9.0 / 16.0,
                              9.0 / 16.0 - models::DISK_ROUTE_BAND, 13.0 / 16.0 - models::DISK_ROUTE_BAND,
                              // an eighth inside the band starts or stops being
                              // one rule: its length away from the lens
                              0.75 + 0.125, 0.5 - 0.125}) {
        const std::vector<double> l{std::nextafter(edge, 0.0), edge, std::nextafter(edge, 2.0)};
        const auto w = *models::integrated_witt_mao_magnification(l, 1.0, 0.1);
        const auto f = *models::integrated_flux_map_witt_mao_magnification(l, bl, bf, 1.0, 0.1);
        const auto g = *models::integrated_flux_map_witt_mao_magnification(l, dense_bl, dense_bf, 1.0, 0.1);
        for (std::size_t i = 1; i < l.size(); ++i) {
            EXPECT_NEAR(w[i] / w[0], 1.0, 1e-9) << "edge " << edge;
            EXPECT_NEAR(f[i] / f[0], 1.0, 1e-9) << "edge " << edge;
            EXPECT_NEAR(g[i] / g[0], 1.0, 1e-9) << "edge " << edge;
        }
    }
}

TEST(Integrated, DiskRouteInterrupt) {
    int calls = 0;
    const models::Interrupt stop(
        [](void* c) noexcept {
            ++*static_cast<int*>(c);
            return true;
        },
        &calls);
    // The gate's separations come first; a long list asks early and stops.
    const std::vector<double> l(2 * models::Interrupt::PERIOD, 0.5);
    const auto w = models::integrated_witt_mao_magnification(l, 1.0, 0.1, stop);
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().message, models::INTERRUPTED);
    EXPECT_EQ(calls, 1);
    // A shorter list is stopped inside the integration (about a hundred disk
    // evaluations per separation).
    calls = 0;
    const models::Interrupt stop2(
        [](void* c) noexcept {
            ++*static_cast<int*>(c);
            return true;
        },
        &calls);
    const std::vector<double> some(200, 0.5);
    const auto f = models::integrated_flux_map_witt_mao_magnification(some, {0.0, 1.0}, {1.0, 0.5},
                                                                      1.0, 0.1, stop2);
    ASSERT_FALSE(f);
    EXPECT_EQ(f.error().message, models::INTERRUPTED);
    EXPECT_EQ(calls, 1);
}

// Separations from subnormal to the largest double, stars from 1e-12 to
// 1e12 Einstein radii: finite and at least 1; an infinite separation is 1.
TEST(Integrated, DiskRouteOverTheDoubleRange) {
    const double huge = std::numeric_limits<double>::max(), inf = std::numeric_limits<double>::infinity();
    const std::vector<double> l{0.0, 5e-324, 1e-300, 1e-20, 0.5, 1.0, 1e8, 1e150, huge};
    for (const double rho : {1e-12, 1e-3, 1.0, 1e3, 1e12}) {
        const auto w = *models::integrated_witt_mao_magnification(l, 1.0, rho);
        const auto f = *models::integrated_flux_map_witt_mao_magnification(l, {0.0, 0.3, 0.7, 1.0},
                                                                           {0.4, 0.3, 0.2, 0.1}, 1.0, rho);
        for (std::size_t i = 0; i < l.size(); ++i) {
            EXPECT_TRUE(std::isfinite(w[i]) && w[i] >= 1.0) << l[i] << " " << rho << " " << w[i];
            EXPECT_TRUE(std::isfinite(f[i]) && f[i] >= 1.0) << l[i] << " " << rho << " " << f[i];
        }
        // A lens 1e-300 from the centre is the lens on the centre.
        EXPECT_EQ(w[2], w[0]);
    }
    EXPECT_EQ(*models::integrated_witt_mao_magnification({inf}, 1.0, 0.5), std::vector<double>{1.0});
    EXPECT_EQ(*models::integrated_flux_map_witt_mao_magnification({inf}, {0.0, 1.0}, {1.0, 0.5}, 1.0, 0.5),
              std::vector<double>{1.0});
}

// A table's plan (pieces, flux, moments, product weights) is kept across
// calls on a thread.  Whatever the order of the calls, and whichever weights
// earlier calls happened to build, every result must be the one a plan
// built afresh for that call gives, bit for bit: tables that differ in one
// bit, more tables than are kept, a table too large to keep, and several
// threads at once.
TEST(Integrated, KeptTablePlansGiveFreshResults) {
    namespace interp = halomag::interp;
    const auto fresh = [](const std::vector<double>& l, const Table& t, double rho) {
        const interp::LinearTable profile(t.bl, t.bf, interp::OutOfRangeMode::fill(0.0));
        const models::TabulatedDisk disk(profile, t.bl);
        const models::SeriesWeights weights = disk.series_weights();
        return std::pair{models::_integrated_heyrovsky_magnification(l, disk, 1.0, rho).value(),
                         models::_integrated_witt_mao_magnification(l, profile, 1.0, rho, disk.flux(), t.bl, {},
                                                                    &weights)
                             .value()};
    };
    const auto sine = [](int n, double scale) {
        Table t;
        for (int k = 0; k <= n; ++k) {
            const double r = k == n ? 1.0 : std::sin(3.141592653589793 * k / (2.0 * n));
            t.bl.push_back(r);
            t.bf.push_back(scale * models::LinearLimbDarkening{}(r));
        }
        return t;
    };
    std::vector<Table> tables{sine(10, 1.0), sine(50, 1.0), sine(6, 2.0), sine(20, 1.0), sine(30, 0.5),
                              sine(1500, 1.0)};
    Table nudged = tables[0];
    nudged.bf[4] = std::nextafter(nudged.bf[4], 2.0);
    tables.push_back(nudged);
    const std::vector<std::vector<double>> lists{{0.3, 0.9, 2.0}, {1.7, 2.5}, {0.05, 1.0 + 1e-6}, {2.9, 0.6}};
    const auto check = [&](std::size_t seed) {
        for (std::size_t call = 0; call < 40; ++call) {
            const Table& t = tables[(call * 5 + seed) % tables.size()];
            const std::vector<double>& l = lists[(call + seed) % lists.size()];
            const double rho = call % 3 == 0 ? 1.0 : 0.05;
            const auto [ring, disk] = fresh(l, t, rho);
            EXPECT_EQ(ifh(l, t.bl, t.bf, 1.0, rho), ring) << "call " << call;
            EXPECT_EQ(models::integrated_flux_map_witt_mao_magnification(l, t.bl, t.bf, 1.0, rho).value(), disk)
                << "call " << call;
        }
    };
    check(0);
    std::vector<std::thread> threads;
    for (std::size_t seed = 1; seed <= 3; ++seed) threads.emplace_back(check, seed);
    for (std::thread& thread : threads) thread.join();
}

// Tables of many radii whose profile jumps: one stopping short of the limb
// (0 beyond 0.7), one with a step (a repeated radius at 0.6), one going
// negative; two smooth ones, the linear law at 51 radii (its slope of one
// sign) and a wave (its slope of both signs); and a staircase (below).
// Where the uniform-disk route takes an eighth of the star, a region inside
// its band or one beyond it in one rule, the jump must be seen (a Gauss rule
// on the weight's support only; by parts only where the profile is
// continuous) and the slope's sign (the Gauss rule of |p'| dr, or the
// product rule of p'): the route agrees with the ring route to 1e-9 across
// the star.
TEST(Integrated, DiskRouteRulesAcrossJumps) {
    std::vector<std::pair<std::vector<double>, std::vector<double>>> tables(6);
    // A staircase: steps of width 0.005 between flats, where p' is 0.  The
    // Gauss rules of |p'| dr over the regions inside the band are refused
    // (two spikes far apart are more than a measure's moments resolve), and
    // those regions go piece by piece.
    for (int k = 0; k < 12; ++k) {
        tables[5].first.push_back(k / 12.0);
        tables[5].second.push_back(1.0 - 0.07 * k);
        tables[5].first.push_back(k / 12.0 + 0.005);
        tables[5].second.push_back(1.0 - 0.07 * (k + 1));
    }
    tables[5].first.push_back(1.0);
    tables[5].second.push_back(1.0 - 0.07 * 12);
    for (int k = 0; k <= 50; ++k) {
        tables[3].first.push_back(k == 50 ? 1.0 : std::sin(3.141592653589793 * k / 100.0));
        tables[3].second.push_back(models::LinearLimbDarkening{}(tables[3].first.back()));
        tables[4].first.push_back(k / 50.0);
        tables[4].second.push_back(1.0 + 0.3 * std::sin(9.0 * k / 50.0));
    }
    for (int k = 0; k <= 30; ++k) {
        tables[0].first.push_back(0.7 * k / 30.0);
        tables[0].second.push_back(1.0 - 0.3 * tables[0].first.back());
    }
    for (int k = 0; k <= 40; ++k) {
        const double r = k / 40.0;
        tables[1].first.push_back(r);
        tables[1].second.push_back(k <= 24 ? 1.0 - 0.5 * r : 0.2 + 0.1 * r);
        if (k == 24) {
            tables[1].first.push_back(r);
            tables[1].second.push_back(0.2 + 0.1 * r);
        }
        tables[2].first.push_back(r);
        tables[2].second.push_back(1.0 - 1.3 * r * r);
    }
    std::vector<double> l;
    for (int i = 0; i < 80; ++i) l.push_back(1.6 * (i + 0.5) / 80.0);
    for (const auto& [bl, bf] : tables) {
        for (const double u : {0.1, 1.0, 10.0}) {
            const auto w = *models::integrated_flux_map_witt_mao_magnification(l, bl, bf, u, 1.0);
            const auto h = ifh(l, bl, bf, u, 1.0);
            for (std::size_t i = 0; i < l.size(); ++i) {
                // (Where negative brightness near the limb makes the ring
                // route's value fall below 1, the uniform-disk route returns
                // 1: it takes any value below 1 for rounding.)
                if (h[i] < 1.0) continue;
                EXPECT_NEAR(w[i] / h[i], 1.0, 1e-9) << "l=" << l[i] << " u=" << u << " knots " << bl.size();
            }
        }
    }
}

// A table dark at its rim (negative fluxes beyond 0.6): with the lens on the
// dark part the star is dimmed, A < 1, and both routes say so (the uniform-
// disk route clamps at 1 only profiles nowhere negative); a table falling to
// 0 at the limb is still held at 1 or above far from the lens.
TEST(Integrated, DarkRimDimsOnBothRoutes) {
    const std::vector<double> bl{0.0, 0.5, 0.6, 1.0}, bf{1.0, 1.0, -0.3, -0.3};
    const std::vector<double> l{0.8, 0.95, 1.0, 1.05};
    for (const double rstar : {1.0, 10.0}) {  // u = 1 and 0.1 Einstein radii
        const auto rings = models::integrated_flux_map_heyrovsky_magnification(l, bl, bf, 1.0, rstar).value();
        const auto disks = models::integrated_flux_map_witt_mao_magnification(l, bl, bf, 1.0, rstar).value();
        for (std::size_t i = 0; i < l.size(); ++i) {
            EXPECT_LT(rings[i], 1.0) << l[i] << " " << rstar;
            EXPECT_LE(relative_error(disks[i], rings[i]), 1e-9) << l[i] << " " << rstar;
        }
    }
    const std::vector<double> falling{1.0, 0.8, 0.5, 0.0}, far{2.9, 2.999999, 50.0};
    const auto values = models::integrated_flux_map_witt_mao_magnification(far, bl, falling, 1e-6, 1.0).value();
    for (const double value : values) EXPECT_GE(value, 1.0);
}
