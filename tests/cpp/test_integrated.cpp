// Limb-darkened and flux-map magnifications against an independent mpmath
// computation of the brightness-weighted mean of the point-lens magnification
// over the disk (scripts/gen_limb_darkened_reference.py, 30 digits).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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
            EXPECT_LE(ew, 2e-5) << "builtin l=" << c.l << " rho=" << c.rho;
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
            EXPECT_LE(ew, 2e-5) << c.profile << " l=" << c.l << " rho=" << c.rho;
            worst_fh = std::max(worst_fh, eh);
            worst_fw = std::max(worst_fw, ew);
        }
    }
    std::printf("worst relative errors: heyrovsky %.3g, witt-mao %.3g, flux-map heyrovsky %.3g, "
                "flux-map witt-mao %.3g\n", worst_h, worst_w, worst_fh, worst_fw);
}

// The pieces: an integrand with kinks at the knots and a logarithmic
// singularity at the lens converges to 1e-11 only if every one of them is an
// end of a piece, and a missing or repeated piece changes the sum.
TEST(Integrated, BreakpointsCoverTheUnitIntervalOnce) {
    const auto kink = [](double a) { return 0.5 * (a * a + (1.0 - a) * (1.0 - a)); };  // int |r - a|
    const auto log = [](double a) { return a * std::log(a) + (1.0 - a) * std::log1p(-a) - 1.0; };  // int ln|r - a|
    const std::vector<double> knots{0.7, 0.3, 0.7, std::nan(""), -1.0, 0.0, 1.0, 2.0};
    const models::Breakpoints cuts(knots);
    for (const double lens : {0.3, 0.5, 0.1, 0.9, 0.0, 1.0, 1.5, -0.2, std::nan("")}) {
        const bool inside = lens > 0.0 && lens < 1.0;
        const auto f = [&](double r) {
            const double v = std::fabs(r - 0.3) + std::fabs(r - 0.7);
            return inside ? v + std::log(std::fabs(r - lens)) : v;
        };
        const double exact = kink(0.3) + kink(0.7) + (inside ? log(lens) : 0.0);
        EXPECT_NEAR(cuts.integrate(f, lens), exact, 1e-11) << "lens " << lens;
        const std::size_t expected = 3 + (inside && lens != 0.3 ? 1 : 0);
        EXPECT_EQ(cuts.pieces(lens), expected) << "lens " << lens;
    }
    // Without knots: [0, 1] whole, or split at the lens only.
    const models::Breakpoints none;
    EXPECT_NEAR(none.integrate([](double r) { return std::log(std::fabs(r - 0.4)); }, 0.4), log(0.4), 1e-11);
    EXPECT_EQ(none.pieces(0.4), 2u);
    EXPECT_EQ(none.pieces(1.0), 1u);
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
        EXPECT_NEAR(fw[i] / uniform[i], 1.0, 2e-5) << l[i];
    }
    // The two routes agree for the built-in profile too, to the uniform-disk
    // route's accuracy.
    const auto h = ih(l, 1.0, rho);
    const auto w = *models::integrated_witt_mao_magnification(l, 1.0, rho);
    for (std::size_t i = 0; i < l.size(); ++i) EXPECT_NEAR(w[i] / h[i], 1.0, 2e-5) << l[i];
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
    // Far from the star everything tends to 1.  The uniform-disk route loses
    // accuracy there (the closed form of the small inner disks cancels like
    // eps (l/r)^2), so it is held to the ring route only up to l = 100.
    const double far_h = ih({1e4}, 1.0, rho)[0];
    EXPECT_NEAR(far_h, 1.0, 1e-12);
    EXPECT_NEAR(ifh({1e4}, rbl, rbf, 1.0, rho)[0], 1.0, 1e-12);
    const double mid_fh = ifh({100.0}, rbl, rbf, 1.0, rho)[0];
    EXPECT_NEAR((*models::integrated_flux_map_witt_mao_magnification({100.0}, rbl, rbf, 1.0, rho))[0],
                mid_fh, 1e-8);
    const double mid_h = ih({100.0}, 1.0, rho)[0];
    EXPECT_NEAR((*models::integrated_witt_mao_magnification({100.0}, 1.0, rho))[0], mid_h, 1e-9);
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
