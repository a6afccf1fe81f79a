// The ring route's rules: accuracy against the 30-digit mpmath references
// of its hard cases (scripts/gen_profile_reference.py), continuity across
// every switch between rules, the exact flux, cancellation, and extreme
// inputs.
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
#include <vector>

#include "lib/integrated.hpp"
#include "lib/models.hpp"
#include "lib/profiles.hpp"
#include "reference_data.hpp"

namespace models = halomag::models;
using halomag::testing::relative_error;

namespace {

struct Table {
    std::vector<double> bl, bf;
};

// The generator's TABLES.
std::map<std::string, Table> tables() {
    std::map<std::string, Table> t;
    t["two"] = {{0.0, 1.0}, {1.0, 0.3}};
    for (int k = 0; k <= 10; ++k) {
        const double r = k / 10.0;
        t["eleven"].bl.push_back(r);
        t["eleven"].bf.push_back(1.0 - 0.6 * (1 - std::sqrt(1 - r * r)));
    }
    t["short"] = {{0.0, 0.4, 0.7}, {1.0, 0.9, 0.5}};
    t["odd"] = {{-0.5, 0.0, 0.3, 0.3, 0.6, 1.0, 1.5}, {2.0, 1.0, 0.9, 0.6, 0.5, 0.2, 0.0}};
    t["steep"] = {{0.0, 0.25, 0.65, 0.76, 0.81, 0.82, 0.99, 1.0}, {0.33, 0.61, 0.36, 2.63, 1.57, 1.48, 2.2, 0.044}};
    for (int k = 0; k <= 100; ++k) {
        const double r = k == 100 ? 1.0 : std::sin(3.141592653589793 * k / 200);
        const double mu = std::sqrt(std::max(0.0, 1.0 - r * r));
        t["hundred"].bl.push_back(r);
        t["hundred"].bf.push_back(1.0 - 0.5 * (1.0 - mu) - 0.2 * (1.0 - mu) * (1.0 - mu));
    }
    return t;
}

double builtin(double l, double u) {
    return models::integrated_heyrovsky_magnification({l}, u, 1.0).value()[0];
}

double tabulated(double l, double u, const Table& t) {
    return models::integrated_flux_map_heyrovsky_magnification({l}, t.bl, t.bf, u, 1.0).value()[0];
}

const std::vector<double> EINSTEIN_RADII{0.01, 1.0, 100.0, 1e4};

}  // namespace

TEST(RingRoute, MatchesProfileReference) {
    std::ifstream in(std::string(HALOMAG_TEST_DATA_DIR) + "/profile_reference.txt");
    const auto maps = tables();
    std::map<std::string, double> worst;
    std::size_t rows = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, l, u, value;
        fields >> name >> l >> u >> value;
        const double li = std::strtod(l.c_str(), nullptr), ui = std::strtod(u.c_str(), nullptr);
        const double reference = std::strtod(value.c_str(), nullptr);
        const double got = name == "builtin" ? builtin(li, ui) : tabulated(li, ui, maps.at(name));
        const double e = relative_error(got, reference);
        EXPECT_LE(e, 1e-14) << name << " l=" << l << " u=" << u;
        worst[name] = std::max(worst[name], e);
        ++rows;
    }
    EXPECT_GE(rows, 165u);
    for (const auto& [name, e] : worst) std::printf("%-8s worst relative error %.3g\n", name.c_str(), e);
}

// Each switch between rules, evaluated on both sides and (where the two
// rules can be called at the same point) with both rules at the switch.
TEST(RingRoute, SwitchesAreContinuous) {
    const models::LimbDarkenedDisk disk;
    const Table eleven = tables().at("eleven");
    const halomag::interp::LinearTable table(eleven.bl, eleven.bf,
                                             halomag::interp::OutOfRangeMode::fill(0.0));
    const models::TabulatedDisk tab(table, eleven.bl);
    for (const double u : EINSTEIN_RADII) {
        // Far-field series against the rules at its threshold.
        const double l = models::SERIES_FROM;
        const double by_rules = models::integrate_disk(disk, l, u, [&](double r, double g) {
            return *models::ring_magnification_gap(l, r, g, u);
        }) / disk.flux();
        EXPECT_NEAR(models::far_field_series(l, u, disk.series_weights()) / by_rules, 1.0, 2e-15) << u;
        const double tab_rules = models::integrate_disk(tab, l, u, [&](double r, double g) {
            return *models::ring_magnification_gap(l, r, g, u);
        }) / tab.flux();
        EXPECT_NEAR(models::far_field_series(l, u, tab.series_weights()) / tab_rules, 1.0, 2e-15) << u;
        // All the light in a thin ring at the limb: the largest series
        // weights a profile of non-negative brightness can have.
        const Table rim{{0.98, 0.99, 1.0}, {0.0, 1.0, 1.0}};
        const halomag::interp::LinearTable rimp(rim.bl, rim.bf,
                                                halomag::interp::OutOfRangeMode::fill(0.0));
        const models::TabulatedDisk rimd(rimp, rim.bl);
        const double rim_rules = models::integrate_disk(rimd, l, u, [&](double r, double g) {
            return *models::ring_magnification_gap(l, r, g, u);
        }) / rimd.flux();
        EXPECT_NEAR(models::far_field_series(l, u, rimd.series_weights()) / rim_rules, 1.0, 2e-15)
            << u;
        // Both sides of the series threshold, of the limb (log cores inside,
        // the logarithmic end at l = 1, the exponential map outside), of
        // the centre cut, and of a knot.
        const double up = std::nextafter(l, 1e9), down = std::nextafter(l, 0.0);
        EXPECT_NEAR(builtin(down, u) / builtin(up, u), 1.0, 1e-14) << u;
        EXPECT_NEAR(tabulated(down, u, eleven) / tabulated(up, u, eleven), 1.0, 1e-14) << u;
        const double one = builtin(1.0, u);
        EXPECT_NEAR(builtin(std::nextafter(1.0, 0.0), u) / one, 1.0, 1e-14) << u;
        EXPECT_NEAR(builtin(std::nextafter(1.0, 2.0), u) / one, 1.0, 1e-14) << u;
        const double tone = tabulated(1.0, u, eleven);
        EXPECT_NEAR(tabulated(std::nextafter(1.0, 0.0), u, eleven) / tone, 1.0, 1e-14) << u;
        EXPECT_NEAR(tabulated(std::nextafter(1.0, 2.0), u, eleven) / tone, 1.0, 1e-14) << u;
        const double centre = builtin(0.0, u);
        EXPECT_NEAR(builtin(0.99 * models::CENTRE_BELOW, u) / centre, 1.0, 1e-14) << u;
        EXPECT_NEAR(builtin(1.01 * models::CENTRE_BELOW, u) / centre, 1.0, 1e-14) << u;
        EXPECT_NEAR(tabulated(1.01 * models::CENTRE_BELOW, u, eleven) / tabulated(0.0, u, eleven), 1.0,
                    1e-14) << u;
        const double half = builtin(0.5, u);  // r-space below, mu-space from 0.5 on
        EXPECT_NEAR(builtin(std::nextafter(0.5, 0.0), u) / half, 1.0, 1e-14) << u;
        EXPECT_NEAR(builtin(std::nextafter(0.5, 1.0), u) / half, 1.0, 1e-14) << u;
        const double knot = tabulated(0.5, u, eleven);
        EXPECT_NEAR(tabulated(std::nextafter(0.5, 0.0), u, eleven) / knot, 1.0, 1e-14) << u;
        EXPECT_NEAR(tabulated(std::nextafter(0.5, 1.0), u, eleven) / knot, 1.0, 1e-14) << u;
    }
    // A lens too small to magnify (1 returned without rings) and one just
    // large enough to be integrated.
    const double cut = std::sqrt(1e-17 / (4.0 * 3.141592653589793 * disk.peak()));
    EXPECT_EQ(builtin(0.5, 0.99 * cut), 1.0);
    EXPECT_NEAR(builtin(0.5, 1.01 * cut), 1.0, 1e-15);
    // The ring mean with the exact gap, as the rules call it: a lens far
    // larger than the ring (the mean grows like u) on both sides of the
    // deep-inside limit u = 2^300 (l + r), with the gap carried through the
    // rescaling.
    for (const double g : {0.3, 1e-6, -0.2}) {
        const double l = 0.7, r = l - g, s = l + r;
        const double below = 0.999 * 0x1p300 * s, above = 1.001 * 0x1p300 * s;
        EXPECT_NEAR(*models::ring_magnification(l, r, g, above) / (above / below) /
                        *models::ring_magnification(l, r, g, below), 1.0, 1e-14) << g;
    }
}

// The exact flux: a star far off is magnified like its centre by a point
// lens, to rounding (the old normaliser left 1.6e-14).
// The node sum hands the ring mean its nodes eight at a time and what is
// left in a four, pairs and alone: the same sum, to rounding, as one node
// at a time, for every remainder of the node count modulo 8 (tables of 2
// to 12 radii, the lens inside, at the limb and outside).
TEST(RingRoute, GroupsOfNodesSumAsOneAtATime) {
    const double u = 0.7;
    std::array<bool, 8> remainders{};
    for (int knots = 2; knots <= 12; ++knots) {
        Table t;
        for (int k = 0; k < knots; ++k) {
            const double r = k == knots - 1 ? 1.0 : std::sin(1.5707963267948966 * k / (knots - 1));
            t.bl.push_back(r);
            t.bf.push_back(1.0 - 0.6 * (1 - std::sqrt(1 - r * r)));
        }
        const halomag::interp::LinearTable table(t.bl, t.bf, halomag::interp::OutOfRangeMode::fill(0.0));
        const models::TabulatedDisk disk(table, t.bl);
        for (const double l : {0.0, 0.3, 0.77, 1.0, 1.02, 2.5}) {
            std::uint64_t n = 0;
            const double grouped = models::integrate_disk(disk, l, u, models::RingMean{l, u}, {}, &n);
            const double single = models::integrate_disk(disk, l, u, [&](double r, double g) {
                return *models::ring_magnification(l, r, g, u);
            });
            EXPECT_LE(relative_error(grouped, single), 2e-15) << knots << " " << l;
            remainders[n % 8] = true;
        }
    }
    EXPECT_EQ(std::count(remainders.begin(), remainders.end(), true), 8);
}

TEST(RingRoute, ExactFlux) {
    EXPECT_EQ(models::LimbDarkenedDisk::FLUX, 0.8 * 3.141592653589793);
    EXPECT_NEAR(builtin(1e12, 1.0), 1.0, 1e-16);
    const auto t = tables();
    EXPECT_NEAR(tabulated(1e12, 1.0, t.at("hundred")), 1.0, 1e-16);
    // Uniform disk: N = pi exactly, and the odd table's flux piece by piece
    // (the step at 0.3, the segments beyond 1 ignored).
    const Table uniform{{0.0, 1.0}, {1.0, 1.0}};
    const halomag::interp::LinearTable flat(uniform.bl, uniform.bf, halomag::interp::OutOfRangeMode::fill(0.0));
    EXPECT_NEAR(models::TabulatedDisk(flat, uniform.bl).flux(), 3.141592653589793, 4e-16);
    const Table& odd = t.at("odd");
    const halomag::interp::LinearTable oddp(odd.bl, odd.bf, halomag::interp::OutOfRangeMode::fill(0.0));
    // 2 pi [int_0^.3 (1 - r/3) r dr + int_.3^.6 (0.7 - r/3) r dr + int_.6^1 (0.95 - 0.75 r) r dr]
    const double exact = 2.0 * 3.141592653589793 *
                         ((0.045 - 0.003) + (0.7 * 0.135 - (0.216 - 0.027) / 9.0) +
                          (0.95 * 0.32 - 0.25 * (1.0 - 0.216)));
    EXPECT_NEAR(models::TabulatedDisk(oddp, odd.bl).flux() / exact, 1.0, 1e-15);
}

// Knots outside [0, 1], repeats and a table mostly beyond the limb cost
// only the pieces inside the disk.
TEST(RingRoute, PiecesInsideTheDiskOnly) {
    std::vector<double> bl, bf;
    for (int k = 0; k <= 10000; ++k) {
        bl.push_back(-1.0 + k * 1e-3);  // -1 .. 9: ten knots per 0.01
        bf.push_back(1.0);
    }
    bl.insert(bl.begin() + 1500, bl[1500]);  // a repeated knot at 0.5
    bf.insert(bf.begin() + 1500, 1.0);
    const halomag::interp::LinearTable p(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    EXPECT_EQ(models::TabulatedDisk(p, bl).pieces(), 1000u);
    // A table that stops short of the limb: nothing beyond its last knot.
    const std::vector<double> sl{0.0, 0.4, 0.7}, sf{1.0, 0.9, 0.5};
    const halomag::interp::LinearTable sp(sl, sf, halomag::interp::OutOfRangeMode::fill(0.0));
    EXPECT_EQ(models::TabulatedDisk(sp, sl).pieces(), 2u);
    // One knot: constant everywhere, one piece; none: no piece, NaN.
    const std::vector<double> one{0.5}, two{2.0}, none;
    EXPECT_EQ(models::TabulatedDisk(halomag::interp::LinearTable(one, two, halomag::interp::OutOfRangeMode::fill(0.0)), one).pieces(), 1u);
    EXPECT_TRUE(std::isnan(tabulated(0.5, 1.0, Table{none, none})));
}

namespace {
// Sums the ring mean at separation l over the nodes it is given, counting them.
struct RingSum {
    double l, u, sum = 0.0;
    std::uint64_t count = 0;
    void operator()(const models::rules::Node& n, double w) {
        sum += w * n.area * *models::ring_magnification(l, n.r, n.gap, u);
        ++count;
    }
};

// Every piece of a table (radii bl, ascending) by the general rules, with
// the piece's line as the table writes it: about its middle.
template <class Emit>
void by_general_rules(const std::vector<double>& bl, const halomag::interp::LinearTable& table, double l, double u,
                      Emit& emit) {
    for (std::size_t k = 0; k + 1 < bl.size(); ++k) {
        const double a = bl[k], b = bl[k + 1], h = b - a;
        const double slope = (table(b - h / 3.0) - table(a + h / 3.0)) / ((b - h / 3.0) - (a + h / 3.0));
        const models::rules::Line line{a + 0.5 * h, table(a + 0.5 * h), slope};
        models::rules::Brightened<Emit, models::rules::Line> bright{emit, line};
        models::rules::piece_nodes(a, b, l, u, bright, models::rules::Singularities{}, models::rules::K_TABLE, line);
    }
}
}  // namespace

// Work: the far field needs no ring at all; the light curve of a typical
// event (rho = 0.01, u0 = 0.005, t/tE in [-2, 2]) about two per point.
// A table's pieces far from the lens are planned by the table itself; the
// nodes must be those the general rules give the same piece: same radii,
// gaps, area weights and rule weights, bit for bit, on either side of the
// lens, at the switch (two piece lengths away) and next to it.
TEST(RingRoute, FarPiecesPlannedAsTheGeneralRules) {
    struct Emitted {
        double r, gap, area, weight;
        bool operator==(const Emitted&) const = default;
    };
    struct Record {
        std::vector<Emitted>& out;
        void operator()(const models::rules::Node& n, double w) { out.push_back({n.r, n.gap, n.area, w}); }
    };
    // Brightness 1 (the area weights are the rules' own), and steep lines
    // of both signs, whose slopes enter the rules' sizes.
    for (const bool sloped : {false, true}) {
        // One piece per eighth of the star: no eighth is ruled as a whole;
        // and negative at the limb: no region either (both take Gauss
        // rules of the profile's measure, which must be positive).
        std::vector<double> bl, bf;
        for (int k = 0; k <= 8; ++k) {
            bl.push_back(k / 8.0);
            bf.push_back(k == 8 ? -0.5 : (sloped ? 1.0 + 0.9 * std::sin(2.5 * k) : 1.0));
        }
        const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
        const models::TabulatedDisk disk(table, bl);
        for (const double u : {0.01, 1.0, 100.0}) {
            // (From l = 0.05 to 1.05: with the lens on the centre or farther
            // out the whole star may take one rule instead of its pieces'.)
            for (const double l : {0.05, 0.3, 0.5, 0.5 + 1e-9, 0.7, 0.95, 1.0, 1.02, 1.05,
                                   0.125 + 2.0 * 0.125, std::nextafter(0.375, 0.0), std::nextafter(0.375, 1.0)}) {
                std::vector<Emitted> table_nodes, general;
                Record by_table{table_nodes}, by_rules{general};
                disk.nodes(l, u, by_table);
                by_general_rules(bl, table, l, u, by_rules);
                EXPECT_EQ(table_nodes.size(), general.size()) << "l=" << l << " u=" << u << " sloped " << sloped;
                EXPECT_TRUE(table_nodes == general) << "l=" << l << " u=" << u << " sloped " << sloped;
            }
        }
    }
}

// A table's piece with the ring through the lens less than two lengths
// beyond an end: one rule in s = ln((x + e)/e) (rules::from_lens), against
// the core and exponential map of rules::from_end at K = 32 (a different
// rule on a different variable; the two differ by up to 2.7e-15 where the
// lens is 1e-9 lengths away, by the rounding of the ring means next to it),
// and in fewer rings than from_end takes at the same K where the lens is
// near: from 1e-9 of a length to two, on either side of the lens, for small
// and large Einstein radii, with the lens inside the star and beyond its
// limb.
TEST(RingRoute, PiecesNextToTheLensInOneMappedRule) {
    namespace rules = models::rules;
    double worst = 0.0;
    for (const double u : {0.01, 0.5, 2.0, 100.0}) {
        for (const auto& [a, b] : {std::array<double, 2>{0.0, 0.156}, {0.309, 0.454}, {0.891, 0.951}, {0.988, 1.0}}) {
            for (const double q : {1e-9, 1e-6, 1e-3, 0.05, 0.3, 0.9, 1.2, 1.99}) {
                for (const bool below : {true, false}) {
                    const double h = b - a, l = below ? b + q * h : a - q * h;
                    if (!(l > 0.0)) continue;
                    RingSum mapped{l, u}, cored{l, u}, cored_k{l, u};
                    rules::piece_nodes(a, b, l, u, mapped, rules::Singularities{}, rules::K_TABLE);
                    // from_end as piece_nodes set it up before the map.
                    rules::Singularities sing, centre;
                    for (const rules::Complex rs : rules::ring_singularities(l, u)) {
                        const rules::Complex x = below ? b - rs : rs - a;
                        if (std::abs(x) > 0.0) sing.add(x);
                    }
                    if (below) {
                        centre.add(rules::Complex(b, 0.0));
                    } else if (a > 0.0) {
                        sing.add(rules::Complex(-a, 0.0));
                    }
                    const auto map = [&](double x) {
                        const double r = below ? b - x : a + x;
                        return rules::Node{r, below ? (l - b) + x : (l - a) - x, rules::TWO_PI * r};
                    };
                    rules::from_end(h, false, sing, map, cored, centre, 32.0);
                    rules::from_end(h, false, sing, map, cored_k, centre, rules::K_TABLE);
                    const double e = relative_error(mapped.sum, cored.sum);
                    worst = std::max(worst, e);
                    EXPECT_LE(e, 4e-15) << "u=" << u << " [" << a << ", " << b << "] l=" << l;
                    // (Fewer where the lens is near; from about a length on
                    // from_end's one rule over the piece may take a node
                    // fewer.)
                    if (q <= 0.3) {
                        EXPECT_LT(mapped.count, cored_k.count) << "u=" << u << " [" << a << ", " << b << "] l=" << l;
                    } else {
                        EXPECT_LE(mapped.count, cored_k.count + 1) << "u=" << u << " [" << a << ", " << b << "] l=" << l;
                    }
                }
            }
        }
    }
    std::printf("pieces next to the lens: worst relative error %.3g\n", worst);
}

// The size of a rule whose integrand grows like e^(g x) may come from any
// ellipse inside the singularity's: rules::grown_size must be no larger
// than the singularity's own size, and no smaller than the least size over
// those ellipses (a scan of 4000 in acosh A; a smaller one would break the
// bound), and at most a node above it, for growths from none to large, short and long
// intervals, and singularities from near to far.
TEST(RingRoute, GrownSizeOnTheBestEllipse) {
    namespace rules = models::rules;
    namespace gauss = halomag::quadrature::gauss;
    for (const double growth : {0.0, 1.0, 3.0}) {
        for (const double length : {0.1, 1.0, 5.0, 20.0}) {
            for (const double axis : {1.01, 1.5, 3.0, 10.0, 100.0, 1e4}) {
                const std::size_t plain = rules::nodes_for(gauss::rho_of_axis(axis),
                                                           rules::grown(17.0, growth, 0.0, length, axis));
                const std::size_t size = rules::grown_size(17.0, growth, 0.0, length, axis);
                EXPECT_LE(size, plain) << growth << " " << length << " " << axis;
                std::size_t least = plain;
                const double t_axis = std::acosh(axis);
                for (int k = 1; k <= 4000; ++k) {
                    const double a = std::cosh(t_axis * k / 4000.0);
                    least = std::min(least, rules::nodes_for(gauss::rho_of_axis(a), rules::grown(17.0, growth, 0.0, length, a)));
                }
                EXPECT_GE(size, least) << growth << " " << length << " " << axis;
                EXPECT_LE(size, least + 1) << growth << " " << length << " " << axis;
            }
        }
    }
}

// Below and above the lens a region [0, k/16] or [k/16, 1] may take one
// Gauss rule of the profile's measure in place of the far pieces' rules:
// the integral must be that of every piece by the general rules (tested
// against the references), for tables whose pieces are far from the
// sixteenths or on them, next to the lens and across the limb; and the
// regions must be taken (fewer rings).
TEST(RingRoute, RegionsAgreeWithThePieces) {
    // The sizes of kept rules round up, never down (fewer nodes than a rule
    // is sized for would lose accuracy), and pass larger sizes through.
    for (std::size_t n = 1; n <= 40; ++n) {
        const std::size_t kept = models::rules::kept_size(n);
        EXPECT_GE(kept, n);
        EXPECT_LE(kept, n <= 32 ? std::max<std::size_t>(n + n / 3, 2) : n) << n;
        EXPECT_EQ(models::rules::kept_size(static_cast<double>(n)), static_cast<double>(kept));
    }
    std::vector<std::vector<double>> radii;
    for (const int n : {10, 50}) {
        std::vector<double> bl;
        for (int k = 0; k <= n; ++k) bl.push_back(k == n ? 1.0 : std::sin(3.141592653589793 * k / (2.0 * n)));
        radii.push_back(bl);
    }
    radii.push_back({0.0, 0.0625, 0.125, 0.3, 0.31, 0.5, 0.75, 0.8125, 0.9, 1.0});
    radii.push_back({0.0, 0.2, 0.45, 0.6, 0.65});  // stops short of the limb
    // Dark out to 0.3 (no pieces there: a region's measure has a gap).
    radii.push_back({0.0, 0.1, 0.2, 0.3, 0.35, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0});
    std::uint64_t by_table = 0, by_pieces = 0;
    for (const auto& bl : radii) {
        std::vector<double> bf;
        for (std::size_t k = 0; k < bl.size(); ++k) bf.push_back(1.0 + 0.5 * std::cos(3.0 * static_cast<double>(k)));
        if (bl.size() == 11 && bl[3] == 0.3) std::fill(bf.begin(), bf.begin() + 4, 0.0);
        const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
        const models::TabulatedDisk disk(table, bl);
        for (const double u : {0.01, 0.5, 2.0, 100.0}) {
            for (const double l : {0.05, 0.2, 0.31, 0.5, 0.7, 0.8125, 0.9, 0.97, 0.999, 1.0, 1.001, 1.05}) {
                RingSum whole{l, u}, pieces{l, u};
                disk.nodes(l, u, whole);
                by_general_rules(bl, table, l, u, pieces);
                EXPECT_NEAR(whole.sum / pieces.sum, 1.0, 4e-15) << "l=" << l << " u=" << u << " knots " << bl.size();
                by_table += whole.count;
                by_pieces += pieces.count;
            }
        }
    }
    EXPECT_LT(static_cast<double>(by_table), 0.8 * static_cast<double>(by_pieces));
}

// A table may take product rules in place of its pieces' rules, one over the
// whole star with the lens off it, one per eighth of the star far enough
// from the lens on it: the two integrals agree to rounding (each within
// about 2e-15 of mpmath), with fewer rings.
TEST(RingRoute, ProductRuleAgreesWithThePieces) {
    std::vector<double> bl, bf;
    for (int k = 0; k <= 50; ++k) {
        const double r = k == 50 ? 1.0 : std::sin(3.141592653589793 * k / 100.0);
        bl.push_back(r);
        bf.push_back(models::LinearLimbDarkening{}(r));
    }
    const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    const models::TabulatedDisk disk(table, bl);
    for (const double u : {0.01, 1.0, 100.0}) {
        for (const double l : {0.0, 0.3, 0.6, 0.95, 1.45, 1.5, 2.0, 2.5, 2.99}) {
            RingSum whole{l, u}, pieces{l, u};
            disk.nodes(l, u, whole);
            for (std::size_t k = 0; k + 1 < bl.size(); ++k) {
                const double a = bl[k], b = bl[k + 1];
                const double slope = (bf[k + 1] - bf[k]) / (b - a);
                const models::rules::Line line{a, bf[k], slope};
                models::rules::Brightened<RingSum, models::rules::Line> bright{pieces, line};
                models::rules::piece_nodes(a, b, l, u, bright, models::rules::Singularities{}, models::rules::K_TABLE,
                                           line);
            }
            EXPECT_NEAR(whole.sum / pieces.sum, 1.0, 3e-15) << "l=" << l << " u=" << u;
            // The whole star in one rule off the star; eighths of it on it.
            EXPECT_LT((l > 1.0 ? 2 : 1) * whole.count, pieces.count) << "l=" << l << " u=" << u;
        }
    }
}

TEST(RingRoute, RingEvaluationCounts) {
    const models::LimbDarkenedDisk disk;
    std::uint64_t total = 0;
    for (int i = 0; i < 2000; ++i) {
        const double t = -2.0 + 4.0 * i / 1999.0;
        const double l = std::sqrt(0.005 * 0.005 + t * t) / 0.01;
        std::uint64_t n = 0;
        if (l < models::SERIES_FROM) {
            models::integrate_disk(disk, l, 100.0, [&](double r, double g) {
                return *models::ring_magnification_gap(l, r, g, 100.0);
            }, {}, &n);
        }
        total += n;
    }
    EXPECT_LE(static_cast<double>(total) / 2000.0, 3.0);
    // A table with the lens on the centre, where r = 0 is no singularity:
    // sized from r = +-2iu alone (sized from r = 0, 136 rings at u = 10;
    // from r = +-2iu piece by piece, 54 to 90), one rule over the whole star.
    std::vector<double> bl, bf;
    for (int k = 0; k <= 50; ++k) {
        bl.push_back(k == 50 ? 1.0 : std::sin(3.141592653589793 * k / 100.0));
        bf.push_back(models::LinearLimbDarkening{}(bl.back()));
    }
    const halomag::interp::LinearTable table(bl, bf, halomag::interp::OutOfRangeMode::fill(0.0));
    const models::TabulatedDisk tabulated(table, bl);
    for (const double u : {1.0, 10.0, 1000.0}) {
        std::uint64_t n = 0;
        models::integrate_disk(tabulated, 0.0, u, [](double, double) { return 1.0; }, {}, &n);
        EXPECT_LE(n, 12u) << "u=" << u;
    }
}

namespace {
bool always(void*) noexcept { return true; }
bool count_calls(void* calls) noexcept {
    ++*static_cast<int*>(calls);
    return false;
}
}  // namespace

TEST(RingRoute, InterruptStopsTheCall) {
    const std::vector<double> l(400, 0.7);  // inside the star: ~50 rings each
    const std::vector<double> bl{0.0, 0.5, 1.0}, bf{1.0, 0.8, 0.4};
    const models::Interrupt stop(always, nullptr);
    // re/rstar = 0.5: the rules (from about 1 on the built-in law takes the
    // small-source series, a unit of work per separation).
    const auto a = models::integrated_heyrovsky_magnification(l, 1.0, 2.0, stop);
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().message, models::INTERRUPTED);
    const models::Interrupt stop2(always, nullptr);
    const auto b = models::integrated_flux_map_heyrovsky_magnification(l, bl, bf, 1.0, 0.5, stop2);
    ASSERT_FALSE(b);
    EXPECT_EQ(b.error().message, models::INTERRUPTED);
    const models::Interrupt stop3(always, nullptr);
    const std::vector<double> rings(5000, 0.3), fluxes(5000, 1e-3);
    const auto c = models::discrete_flux_map_heyrovsky_magnification({0.5}, rings, fluxes, 1.0, 0.5, stop3);
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().message, models::INTERRUPTED);
    // A check that never asks to stop is consulted and changes nothing.
    int calls = 0;
    const models::Interrupt watch(count_calls, &calls);
    EXPECT_EQ(models::integrated_heyrovsky_magnification(l, 1.0, 2.0, watch).value(),
              models::integrated_heyrovsky_magnification(l, 1.0, 2.0).value());
    EXPECT_GT(calls, 0);
}

// Every finite l >= 0 and u from 1e-300 to 1e300 give a finite value >= 1
// (to rounding); NaN only for a NaN separation.
TEST(RingRoute, ExtremeInputs) {
    const std::vector<double> l{0.0, 5e-324, 1e-300, 1e-9, 1e-5, 0.5, 1.0 - 1e-16, 1.0, 1.0 + 2.3e-16, 2.0,
                                59.9, 60.0, 1e10, 1e200, std::numeric_limits<double>::max(),
                                std::nan("")};
    const std::vector<double> bl{0.0, 0.3, 0.6, 1.0}, bf{1.0, 0.9, 0.7, 0.3};
    for (const double u : {1e-300, 1e-100, 1e-5, 0.01, 1.0, 1e4, 1e100, 1e300}) {
        const auto a = models::integrated_heyrovsky_magnification(l, u, 1.0).value();
        const auto b = models::integrated_flux_map_heyrovsky_magnification(l, bl, bf, u, 1.0).value();
        for (std::size_t i = 0; i + 1 < l.size(); ++i) {
            EXPECT_TRUE(std::isfinite(a[i]) && a[i] >= 1.0 - 1e-15) << u << " " << l[i] << " " << a[i];
            EXPECT_TRUE(std::isfinite(b[i]) && b[i] >= 1.0 - 1e-15) << u << " " << l[i] << " " << b[i];
        }
        EXPECT_TRUE(std::isnan(a.back()) && std::isnan(b.back()));
    }
}
