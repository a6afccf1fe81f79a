// Ring (Heyrovsky) and uniform-disk (Witt & Mao) magnifications against
// reference values computed independently with mpmath at 40 digits
// (scripts/gen_magnification_reference.py): the ring mean by direct
// quadrature over the polar angle, the disk by an area integral about the lens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/uniform_disk.hpp"
#include "reference_data.hpp"

using halomag::testing::read_table;
using halomag::testing::relative_error;
namespace models = halomag::models;


TEST(RingMagnification, MatchesQuadratureReference) {
    const auto rows = read_table("ring_reference.txt");
    ASSERT_GE(rows.size(), 100u);
    double worst = 0.0;
    for (const auto& row : rows) {
        const auto value = models::heyrovsky_magnification(row[0], row[1], row[2], row[3]);
        ASSERT_TRUE(value) << row[0] << " " << row[1];
        const double err = relative_error(*value, row[4]);
        worst = std::max(worst, err);
        EXPECT_LE(err, 1e-13) << "l=" << row[0] << " r=" << row[1] << " re=" << row[2]
                              << " rstar=" << row[3] << " got " << *value << " want " << row[4];
    }
    std::printf("ring: worst relative error %.3g over %zu cases\n", worst, rows.size());
}

TEST(RingMagnification, ClosedFormIdentities) {
    // r = 0: the point-source magnification at x = l/u.
    const auto a = models::heyrovsky_magnification(0.5, 0.0, 1.0, 1.0);
    ASSERT_TRUE(a);
    EXPECT_NEAR(*a, 2.18282062532, 1e-11);
    EXPECT_NEAR(*models::heyrovsky_magnification(0.5, 0.3, 1.0, 1.0), 2.42571078568, 1e-11);
    EXPECT_NEAR(*models::heyrovsky_magnification(2.0, 0.7, 3.0, 1.5), 1.37915705634, 1e-11);
    // Symmetric in l and r; only re/rstar matters (to rounding of re/rstar).
    EXPECT_EQ(*models::heyrovsky_magnification(0.3, 0.8, 1.0, 1.0),
              *models::heyrovsky_magnification(0.8, 0.3, 1.0, 1.0));
    EXPECT_EQ(*models::heyrovsky_magnification(2.0, 0.7, 3.0, 1.5),
              *models::heyrovsky_magnification(2.0, 0.7, 2.0, 1.0));
}

TEST(RingMagnification, FiniteAndContinuousThroughTheLens) {
    // The mean magnification grows like (u/(pi l)) ln(1/|g|): finite on both
    // sides, at g = 0 itself, and monotone as the gap closes.
    const double l = 0.5;
    double previous = 0.0;
    for (int k = 2; k <= 16; ++k) {
        const double gap = std::pow(10.0, -k) * l;
        const auto inside = models::heyrovsky_magnification(l, l - gap, 1.0, 1.0);
        const auto outside = models::heyrovsky_magnification(l, l + gap, 1.0, 1.0);
        ASSERT_TRUE(inside && outside);
        EXPECT_TRUE(std::isfinite(*inside) && std::isfinite(*outside));
        EXPECT_GT(*inside, previous);
        // No jump between the two sides (the first-order asymmetry is
        // g/(2l), the rounding of l -/+ gap adds ulp(l)/gap in ln(1/g)).
        EXPECT_NEAR(*inside / *outside, 1.0, 1e-2);
        previous = *inside;
    }
    const auto at_lens = models::heyrovsky_magnification(l, l, 1.0, 1.0);
    ASSERT_TRUE(at_lens);
    EXPECT_TRUE(std::isfinite(*at_lens));
    EXPECT_GE(*at_lens, previous);
    // Slope of the logarithmic growth: u/(pi l) per e-fold of the gap.
    const double a1 = *models::heyrovsky_magnification(l, l - 1e-8, 1.0, 1.0);
    const double a2 = *models::heyrovsky_magnification(l, l - 1e-9, 1.0, 1.0);
    EXPECT_NEAR((a2 - a1) / std::log(10.0), 1.0 / (M_PI * l), 1e-6);
}

TEST(UniformDisk, MatchesAreaIntegralReference) {
    const auto rows = read_table("uniform_disk_reference.txt");
    ASSERT_GE(rows.size(), 100u);
    double worst_near = 0.0, worst_far = 0.0;
    for (const auto& row : rows) {
        const auto value = models::witt_mao_magnification({row[0]}, row[1], row[2]);
        ASSERT_TRUE(value) << "l=" << row[0] << " rstar=" << row[2];
        const double err = relative_error((*value)[0], row[3]);
        EXPECT_LE(err, 1e-14) << "l=" << row[0] << " re=" << row[1] << " rstar=" << row[2]
                              << " got " << (*value)[0] << " want " << row[3];
        (row[0] < models::DISK_SERIES_FROM ? worst_near : worst_far) =
            std::max(row[0] < models::DISK_SERIES_FROM ? worst_near : worst_far, err);
    }
    std::printf("disk: worst relative error %.3g (closed form, l < 3), %.3g (series, l >= 3)\n",
                worst_near, worst_far);
}

TEST(UniformDisk, LimbIsContinuousAndNeverRaises) {
    // Near the limb A(l) - A(1) behaves like (l - 1) ln|l - 1|: the slope
    // grows only logarithmically, so between neighbouring doubles the value
    // may change by a few times 1e-15 relative (slope times 2.2e-16, plus
    // rounding), measured at most 1.3e-14 over 6000 doubles about the limb.
    // A plateau or a switch between two formulas shows up as a larger step.
    for (const double rho : {1e-4, 1e-3, 1e-2, 0.1, 0.5, 1.0, 10.0, 100.0}) {
        std::vector<double> l;
        double x = 1.0;
        for (int k = 0; k < 3000; ++k) x = std::nextafter(x, 0.0);
        for (int k = 0; k < 6000; ++k, x = std::nextafter(x, 2.0)) l.push_back(x);
        const auto values = models::witt_mao_magnification(l, 1.0, rho);
        ASSERT_TRUE(values) << values.error().message;
        double worst = 0.0;
        for (std::size_t i = 0; i + 1 < l.size(); ++i) {
            ASSERT_TRUE(std::isfinite((*values)[i])) << rho << " " << l[i];
            worst = std::max(worst, std::abs((*values)[i + 1] - (*values)[i]) / (*values)[i]);
        }
        EXPECT_LE(worst, 3e-14) << "rho=" << rho;
        // Decades of gaps on both sides, down to 1e-15: always a value.
        std::vector<double> decades;
        for (int k = 1; k <= 15; ++k) {
            decades.push_back(1.0 - std::pow(10.0, -k));
            decades.push_back(1.0 + std::pow(10.0, -k));
        }
        const auto far = models::witt_mao_magnification(decades, 1.0, rho);
        ASSERT_TRUE(far) << far.error().message;
        for (const double v : *far) EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(UniformDisk, EdgeCases) {
    EXPECT_TRUE(models::witt_mao_magnification({}, 1.0, 1.0)->empty());
    // Lens at the centre: sqrt(1 + 4/rho^2).
    const double rho = 0.3;
    EXPECT_NEAR((*models::witt_mao_magnification({0.0}, 1.0, rho))[0],
                std::sqrt(1.0 + 4.0 / (rho * rho)), 1e-13 * std::sqrt(1.0 + 4.0 / (rho * rho)));
    // rstar = 0: NaN, not an error.
    const auto nan = models::witt_mao_magnification({0.5, 2.0}, 1.0, 0.0);
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan((*nan)[0]) && std::isnan((*nan)[1]));
    // Far away: the point-source value.
    const double u = 50 * 0.5;
    EXPECT_NEAR((*models::witt_mao_magnification({50.0}, 1.0, 0.5))[0],
                (u * u + 2) / (u * std::sqrt(u * u + 4)), 1e-8);
    // Order and length kept, repeated separations identical.
    const auto v = models::witt_mao_magnification({2.0, 0.5, 2.0}, 1.0, 0.5);
    ASSERT_EQ(v->size(), 3u);
    EXPECT_EQ((*v)[0], (*v)[2]);
}

// Two ring means, or two disks, at once against one at a time (to a few
// ulps: a lane may step on after it has converged), and four ring means
// as two pairs (bit for bit): ordinary
// lengths near and far from the lens and the limb, and lanes that take the
// single path (a ring beyond RING_FAR, huge and tiny lengths, NaN; for the
// disks the limb, the series, r = 0).
TEST(Pairs, RingsAndDisksAsOneAtATime) {
    const double u = 0.8, l = 0.6;
    std::vector<double> radii{0.0, 1e-300, 1e-9, 0.1, 0.3, 0.59, 0.6, 0.6 + 1e-15, 0.61, 0.8, 0.8 + 1e-16, 0.9, 1.0, 3.0, 1e5, 1e250,
                              std::nan("")};
    for (const double r0 : radii) {
        for (const double r1 : radii) {
            const double r[2] = {r0, r1}, g[2] = {l - r0, l - r1};
            double pair[2];
            models::ring_magnification_pair(l, r, g, u, pair);
            for (int k = 0; k < 2; ++k) {
                const auto one = models::ring_magnification(l, r[k], g[k], u);
                if (std::isnan(*one)) {
                    EXPECT_TRUE(std::isnan(pair[k])) << r0 << " " << r1;
                } else {
                    EXPECT_LE(relative_error(pair[k], *one), 9e-16) << r0 << " " << r1 << " lane " << k;
                }
            }
            // Four rings are two pairs: this one, and the same radii
            // crossed, bit for bit, with a single path in either.
            const double r4[4] = {r0, r1, r1, r0}, g4[4] = {g[0], g[1], g[1], g[0]};
            double quad[4], crossed[2];
            models::ring_magnification_quad(l, r4, g4, u, quad);
            models::ring_magnification_pair(l, r4 + 2, g4 + 2, u, crossed);
            for (int k = 0; k < 2; ++k) {
                EXPECT_TRUE(quad[k] == pair[k] || (std::isnan(quad[k]) && std::isnan(pair[k]))) << r0 << " " << r1;
                EXPECT_TRUE(quad[2 + k] == crossed[k] || (std::isnan(quad[2 + k]) && std::isnan(crossed[k])))
                    << r0 << " " << r1;
            }
            // Eight rings: these two and six of the other radii, one at a
            // time to a few ulps, with a lane on the single path making
            // the octet take its fours.
            double r8[8], g8[8], octet[8];
            for (std::size_t k = 0; k < 8; ++k) {
                r8[k] = k < 2 ? r[k] : radii[(k * 5 + static_cast<std::size_t>(r0 * 7.0 + 1.0)) % radii.size()];
                if (std::isnan(r8[k])) r8[k] = 0.45;
                g8[k] = l - r8[k];
            }
            r8[7] = r1;
            g8[7] = g[1];
            models::ring_magnification_octet(l, r8, g8, u, octet);
            for (std::size_t k = 0; k < 8; ++k) {
                const auto one = models::ring_magnification(l, r8[k], g8[k], u);
                if (std::isnan(*one)) {
                    EXPECT_TRUE(std::isnan(octet[k])) << r0 << " " << r1 << " lane " << k;
                } else {
                    EXPECT_LE(relative_error(octet[k], *one), 9e-16) << r0 << " " << r1 << " lane " << k;
                }
            }
            // Disks of radius r at separation u (Einstein radii).
            double disks[2];
            models::uniform_disk_magnification_pair(u, r, disks);
            for (int k = 0; k < 2; ++k) {
                const auto one = models::uniform_disk_magnification(u, r[k]);
                const double expected = one ? *one : std::nan("");
                if (std::isnan(expected)) {
                    EXPECT_TRUE(std::isnan(disks[k])) << r0 << " " << r1;
                } else {
                    // (E from cel: a few ulps, magnified like l^2 outside the disk.)
                    EXPECT_LE(relative_error(disks[k], expected), 7e-15) << r0 << " " << r1 << " lane " << k;
                }
            }
            // Four closed forms at once (256-bit lanes where the processor
            // has them): as the pairs, to a few ulps.
            const double fours[4] = {std::fabs(r0), std::fabs(r1), 0.61, std::fabs(r0) + 0.5};
            bool closed = true;
            for (const double x : fours) closed = closed && models::detail::closed_form_pair_applies(u, x);
            if (closed) {
                double four_disks[4];
                models::detail::disk_closed_form_quad(u, fours, four_disks);
                for (int k = 0; k < 4; ++k) {
                    const double expected = *models::detail::disk_closed_form(u, fours[k]);
                    EXPECT_LE(relative_error(four_disks[k], expected), 7e-15) << r0 << " " << r1 << " lane " << k;
                }
            }
        }
    }
}

// The uniform disk's mean-value series kept per separation gives
// disk_series bit for bit, on both sides of eta = u^2/4 = 1 and for x in any
// order (its terms are kept as they are first needed).
TEST(Pairs, DiskSeriesKeptPerSeparation) {
    for (const double u : {1e-3, 0.5, 1.9, 2.0, 2.1, 7.0, 1e4}) {
        models::detail::DiskSeriesAt series(u);
        for (const double x : {1.0 / 9.0, 1e-6, 0.0, 0.05, 1.0 / 9.0, 1e-3, 0.1}) {
            EXPECT_EQ(series(x), models::detail::disk_series(u, x)) << u << " " << x;
        }
    }
}

