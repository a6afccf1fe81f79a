// The small-source series of the built-in limb darkening: both routes
// against the 30-digit mpmath references (scripts/gen_small_source_reference.py),
// its accelerated sum against the ring rules,
// continuity where its number of terms changes and across every switch (in
// u to the ring rules, at the limb, in its first term, at l = 3 to the
// far-field series), and Einstein radii at the ends of the double range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "lib/integrated.hpp"
#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/ring_route.hpp"
#include "lib/small_source.hpp"
#include "reference_data.hpp"

namespace models = halomag::models;
using halomag::testing::relative_error;

namespace {

double rings(double l, double re, double rstar = 1.0) {
    return models::integrated_heyrovsky_magnification({l}, re, rstar).value()[0];
}

double disks(double l, double re, double rstar = 1.0) {
    return models::integrated_witt_mao_magnification({l}, re, rstar).value()[0];
}

int terms(double l, double u) {
    int n = 0;
    (void)models::detail::small_source_sum(l, u, &n);
    return n;
}

// Adjacent doubles lo < hi in [lo, hi] where pred changes, pred(lo) != pred(hi).
template <class Pred>
std::pair<double, double> bisect(double lo, double hi, Pred pred) {
    const auto at_lo = pred(lo);
    while (std::nextafter(lo, hi) < hi) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        (pred(mid) == at_lo ? lo : hi) = mid;
    }
    return {lo, hi};
}

}  // namespace

TEST(SmallSource, MatchesReference) {
    std::ifstream in(std::string(HALOMAG_TEST_DATA_DIR) + "/small_source_reference.txt");
    std::string line;
    std::size_t rows = 0, by_series = 0;
    double worst_rings = 0.0, worst_disks = 0.0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string kind, l, u, value;
        fields >> kind >> l >> u >> value;
        const double li = std::strtod(l.c_str(), nullptr), ui = std::strtod(u.c_str(), nullptr);
        const double reference = std::strtod(value.c_str(), nullptr);
        const bool series = models::small_source_applies(li, ui);
        if (kind == "switch") {
            // Generated in pairs, below and above the threshold.
            EXPECT_EQ(series, rows % 2 == 1) << l << " " << u;
        }
        const double e = relative_error(rings(li, ui), reference);
        EXPECT_LE(e, 1e-14) << kind << " l=" << l << " u=" << u;
        worst_rings = std::max(worst_rings, e);
        // The uniform-disk route is exact to rounding where the series serves
        // it; its rules are good to 1e-9.
        const double d = relative_error(disks(li, ui), reference);
        EXPECT_LE(d, series ? 1e-14 : 1e-9) << kind << " l=" << l << " u=" << u;
        if (series) worst_disks = std::max(worst_disks, d);
        by_series += series;
        ++rows;
    }
    EXPECT_GE(rows, 130u);
    EXPECT_GE(by_series, 100u);
    std::printf("worst relative error: rings %.3g, disks by the series %.3g\n", worst_rings,
                worst_disks);
}

// Every change of the number of terms along u, at separations inside, on and
// outside the limb: the two sides are adjacent doubles of u, so the values
// differ by rounding only.
TEST(SmallSource, TermCountChangesAreContinuous) {
    int changes = 0;
    for (const double l : {0.0, 0.5, 0.999, 1.0, 1.2, 1.6, 2.2, 2.9, 2.999999}) {
        const double start = 0.5 * (1.0 + l) / std::sqrt(models::SMALL_SOURCE_RATIO) * 1.000001;
        ASSERT_TRUE(models::small_source_applies(l, start));
        for (double u = start; u < 1e7; u *= 1.07) {
            const double next = u * 1.07;
            if (terms(l, u) == terms(l, next)) continue;
            const auto [a, b] = bisect(u, next, [&](double v) { return terms(l, v); });
            EXPECT_NEAR(models::limb_profile_small_source(l, a) / models::limb_profile_small_source(l, b),
                        1.0, 1e-15)
                << "l=" << l << " u=" << a << " terms " << terms(l, a) << " -> " << terms(l, b);
            ++changes;
        }
        // At most 27 terms (at q = 1.25), never fewer than 2.
        EXPECT_LE(terms(l, start), 27) << l;
        EXPECT_GE(terms(l, 1e7), 2) << l;
    }
    EXPECT_GE(changes, 150);
}

TEST(SmallSource, SwitchesAreContinuous) {
    // In u, between the ring rules and the series: adjacent doubles of u.
    for (const double l : {0.0, 0.3, 0.9, 1.0, 1.0 + 1e-9, 1.7, 2.5, 2.99}) {
        const double guess = 0.5 * (1.0 + l) / std::sqrt(models::SMALL_SOURCE_RATIO);
        const auto [a, b] = bisect(0.9 * guess, 1.1 * guess,
                                   [&](double u) { return models::small_source_applies(l, u); });
        ASSERT_FALSE(models::small_source_applies(l, a));
        ASSERT_TRUE(models::small_source_applies(l, b));
        EXPECT_NEAR(rings(l, a) / rings(l, b), 1.0, 5e-15) << l;
        // The same series and disk on the other route (whose u = 1/(rstar/re)
        // may round to the other side of the switch).
        const double above = b * (1.0 + 1e-12);
        EXPECT_NEAR(disks(l, above) / rings(l, above), 1.0, 2e-15) << l;
    }
    // In u, between the accelerated sum and the plain one (q = 1/64).
    for (const double l : {0.0, 0.7, 1.0, 1.3, 2.9}) {
        const double guess = 0.5 * (1.0 + l) / std::sqrt(models::SMALL_SOURCE_PLAIN);
        const auto accelerated = [&](double u) {
            const double half = 0.5 * (1.0 + l) / u;
            return half * half > models::SMALL_SOURCE_PLAIN;
        };
        const auto [a, b] = bisect(0.9 * guess, 1.1 * guess, accelerated);
        ASSERT_TRUE(accelerated(a));
        ASSERT_FALSE(accelerated(b));
        EXPECT_NEAR(models::limb_profile_small_source(l, a) / models::limb_profile_small_source(l, b), 1.0, 1e-15)
            << l;
    }
    for (const double u : {4.0, 10.0, 1e3, 1e6}) {
        // At the limb: the inside polynomial against the outside form.
        const double one = models::limb_profile_small_source(1.0, u);
        EXPECT_NEAR(models::limb_profile_small_source(std::nextafter(1.0, 0.0), u) / one, 1.0, 1e-15);
        EXPECT_NEAR(models::limb_profile_small_source(std::nextafter(1.0, 2.0), u) / one, 1.0, 1e-15);
        // At l = 3, the far-field series against the small-source series.
        const double three = rings(3.0, u);
        EXPECT_NEAR(rings(std::nextafter(3.0, 0.0), u) / three, 1.0, 5e-15) << u;
        EXPECT_NEAR(disks(std::nextafter(3.0, 0.0), u) / three, 1.0, 5e-15) << u;
    }
    // The first term's two forms where they meet, and a wide span of angles.
    for (const double theta : {0.5, 0.75, 1.0}) {
        const double l = 1.0 / std::sin(theta);
        const double w = l * l, s = std::sqrt((l - 1.0) * (l + 1.0));
        const double t = std::atan2(1.0, s);
        EXPECT_NEAR(models::detail::first_term_series(w, t) / models::detail::first_term_direct(w, t, s),
                    1.0, theta == 0.5 ? 1e-14 : 1e-15)
            << theta;
    }
}

// A huge Einstein radius leaves only the first term, u times a function of
// l; a tiny stellar radius is the same star.  Nothing overflows on the way.
TEST(SmallSource, ExtremeEinsteinRadii) {
    for (const double l : {0.0, 0.5, 1.0, 2.0}) {
        const double a = rings(l, 1e300), b = rings(l, 1e200);
        ASSERT_TRUE(std::isfinite(a)) << l;
        EXPECT_NEAR(a / b, 1e100, 1e100 * 1e-14) << l;
        EXPECT_NEAR(rings(l, 1.0, 1e-300) / a, 1.0, 1e-14) << l;
        EXPECT_NEAR(disks(l, 1e300) / a, 1.0, 1e-14) << l;
        EXPECT_NEAR(rings(-l, 1e300, -1.0) / a, 1.0, 1e-15) << l;  // signs do not matter
        EXPECT_GT(rings(l, std::numeric_limits<double>::max()), 1e307) << l;  // or +inf
    }
    EXPECT_TRUE(std::isnan(rings(0.5, HUGE_VAL)));
    EXPECT_FALSE(models::small_source_applies(std::nan(""), 10.0));
    EXPECT_FALSE(models::small_source_applies(0.5, std::nan("")));
}

// Where the accelerated sum serves a large star (q = ((1 + l)/(2u))^2 from
// 0.5 to the threshold 1.25, which the plain sum would need 150 to 400
// terms for): the series against the ring rules, which are independent of
// it, at separations across the disk and within 1e-12 of the limb.
TEST(SmallSource, AcceleratedSumMatchesTheRings) {
    const models::LimbDarkenedDisk disk;
    double worst = 0.0;
    int points = 0;
    for (const double q : {0.5, 0.8, 1.0, 1.1, 1.25}) {
        for (const double l : {0.0, 0.1, 0.37, 0.8, 0.999, 1.0 - 1e-12, 1.0, 1.0 + 1e-12, 1.001, 1.3, 2.0, 2.9}) {
            const double u = 0.5 * (1.0 + l) / std::sqrt(q) * (1.0 + 1e-12);
            ASSERT_TRUE(models::small_source_applies(l, u)) << l << " " << q;
            const double series = models::limb_darkened_small_source_disk(l, u, 1.0 / u);
            const auto ring = [&](double r, double gap) { return *models::ring_magnification(l, r, gap, u); };
            const double by_rings = models::integrate_disk(disk, l, u, ring) / disk.flux();
            const double e = relative_error(series, by_rings);
            EXPECT_LE(e, 5e-15) << "l=" << l << " q=" << q;
            worst = std::max(worst, e);
            ++points;
        }
    }
    std::printf("%d points, worst %.3g\n", points, worst);
}
