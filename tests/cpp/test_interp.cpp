// Piecewise-linear interpolation and its precomputed form.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "numerics/interp.hpp"

namespace {

using halomag::interp::interp;
using halomag::interp::LinearTable;
using halomag::interp::OutOfRangeMode;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

const OutOfRangeMode all_modes[] = {OutOfRangeMode::extend_end_segment(), OutOfRangeMode::clamp_to_ends(),
                                    OutOfRangeMode::fill(0.0), OutOfRangeMode::fill(-7.5)};

// Bitwise equality, so that -0.0 != 0.0; any NaN matches any NaN, since the
// sign and payload of a NaN from an operation on two NaNs depend on operand
// order in the machine instruction, which the compiler chooses.
bool same_bits(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(Interp, TwoSamplesUnderEachMode) {
    const std::vector<double> x{0.0, 1.0};
    const std::vector<double> y{2.0, 4.0};
    const auto fill = OutOfRangeMode::fill(0.0);
    EXPECT_EQ(interp(x, y, 0.5, fill), 3.0);
    EXPECT_EQ(interp(x, y, 1.0, fill), 4.0);  // the right end is inside
    EXPECT_EQ(interp(x, y, 0.0, fill), 2.0);  // and so is the left end
    EXPECT_EQ(interp(x, y, 1.5, fill), 0.0);
    EXPECT_EQ(interp(x, y, -0.5, fill), 0.0);
    EXPECT_EQ(interp(x, y, 1.5, OutOfRangeMode::extend_end_segment()), 5.0);
    EXPECT_EQ(interp(x, y, -0.5, OutOfRangeMode::extend_end_segment()), 1.0);
    EXPECT_EQ(interp(x, y, 1.5, OutOfRangeMode::clamp_to_ends()), 4.0);
    EXPECT_EQ(interp(x, y, -0.5, OutOfRangeMode::clamp_to_ends()), 2.0);
    EXPECT_EQ(interp(x, y, 9.0, OutOfRangeMode::fill(-1.25)), -1.25);
}

TEST(Interp, SampleValuesAndSegmentChoice) {
    // A kink at x = 1: a point equal to a sample uses the segment ending there,
    // whose line passes through the sample.
    const std::vector<double> x{0.0, 1.0, 3.0};
    const std::vector<double> y{0.0, 10.0, 0.0};
    for (const auto& mode : all_modes) {
        EXPECT_EQ(interp(x, y, 1.0, mode), 10.0);
        EXPECT_EQ(interp(x, y, 3.0, mode), 0.0);
        EXPECT_EQ(interp(x, y, 2.0, mode), 5.0);
    }
    // Outside, the end segments' lines.
    EXPECT_EQ(interp(x, y, -1.0, OutOfRangeMode::extend_end_segment()), -10.0);
    EXPECT_EQ(interp(x, y, 5.0, OutOfRangeMode::extend_end_segment()), -10.0);
}

TEST(Interp, UnequalEmptyAndOneSampleTables) {
    const std::vector<double> x{0.0, 1.0, 2.0, 3.0};
    const std::vector<double> y{2.0, 4.0};
    const std::vector<double> x_cut{0.0, 1.0};
    for (const double xp : {-0.5, 0.25, 1.0, 1.5, 2.5}) {
        for (const auto& mode : all_modes) {
            EXPECT_TRUE(same_bits(interp(x, y, xp, mode), interp(x_cut, y, xp, mode)));
            EXPECT_TRUE(same_bits(interp(y, x, xp, mode), interp(y, x_cut, xp, mode)));
        }
    }
    const std::vector<double> empty;
    const std::vector<double> one_x{0.5};
    const std::vector<double> one_y{7.0};
    for (const auto& mode : all_modes) {
        EXPECT_EQ(interp(empty, empty, 0.3, mode), 0.0);
        EXPECT_EQ(interp(x, empty, 0.3, mode), 0.0);
        for (const double xp : {-10.0, 0.5, 10.0, nan}) {
            EXPECT_EQ(interp(one_x, one_y, xp, mode), 7.0);
            EXPECT_EQ(interp(one_x, y, xp, mode), 2.0);  // y cut to its first sample
        }
    }
}

TEST(Interp, DegenerateTablesFollowTheSegmentRule) {
    // NaN xp: no comparison holds, the first segment's line gives NaN.
    const std::vector<double> x{0.0, 1.0};
    const std::vector<double> y{2.0, 4.0};
    for (const auto& mode : all_modes) {
        EXPECT_TRUE(std::isnan(interp(x, y, nan, mode)));
    }
    // Repeated x0 = x1: the infinite slope is used only at xp = x0.
    const std::vector<double> rx{0.0, 0.0, 1.0};
    const std::vector<double> ry{1.0, 2.0, 4.0};
    EXPECT_TRUE(std::isnan(interp(rx, ry, 0.0, OutOfRangeMode::fill(0.0))));
    EXPECT_EQ(interp(rx, ry, 0.5, OutOfRangeMode::fill(0.0)), 3.0);
    // Unsorted x: the scan stops at the first sample not below xp.
    const std::vector<double> ux{0.0, 2.0, 1.0, 3.0};
    const std::vector<double> uy{0.0, 2.0, 5.0, 3.0};
    EXPECT_EQ(interp(ux, uy, 1.5, OutOfRangeMode::extend_end_segment()), 1.5);  // segment 0
    EXPECT_EQ(interp(ux, uy, 2.5, OutOfRangeMode::extend_end_segment()), 3.5);  // segment 2: (1, 5)-(3, 3)
}

// LinearTable must reproduce interp bit for bit on any table and any point.
void expect_table_matches(const std::vector<double>& x, const std::vector<double>& y,
                          const std::vector<double>& points) {
    for (const auto& mode : all_modes) {
        const LinearTable table(x, y, mode);
        for (const double xp : points) {
            const double want = interp(x, y, xp, mode);
            const double got = table(xp);
            EXPECT_TRUE(same_bits(want, got)) << "xp = " << xp << " want " << want << " got " << got;
        }
    }
}

TEST(LinearTable, MatchesInterpOnHandPickedTables) {
    const std::vector<std::vector<double>> xs{
        {},
        {0.5},
        {0.0, 1.0},
        {0.0, 0.25, 0.5, 0.75, 1.0},
        {0.0, 0.0, 1.0},             // repeated first abscissa
        {0.0, 0.5, 0.5, 1.0},        // repeated inner abscissa
        {0.0, 2.0, 1.0, 3.0, -1.0},  // unsorted
        {0.0, nan, 1.0, 2.0},        // NaN sample
        {-inf, 0.0, inf},
        {-0.0, 0.0, 1.0},
    };
    std::vector<double> points{nan, inf, -inf, -0.0, 0.0};
    for (int k = -20; k <= 60; ++k) {
        points.push_back(k / 16.0);
    }
    for (const auto& x : xs) {
        std::vector<double> y;
        for (std::size_t k = 0; k < x.size(); ++k) {
            y.push_back(std::cos(static_cast<double>(k) * 1.3) + 0.1 * static_cast<double>(k));
        }
        auto p = points;
        p.insert(p.end(), x.begin(), x.end());  // every sample as a point
        expect_table_matches(x, y, p);
        if (!y.empty()) {
            y.pop_back();  // unequal lengths
            expect_table_matches(x, y, p);
        }
    }
}

TEST(LinearTable, MatchesInterpOnRandomTables) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        const std::size_t n = 2 + static_cast<std::size_t>(trial % 40);
        std::vector<double> x(n);
        std::vector<double> y(n);
        double position = -0.1;
        for (std::size_t k = 0; k < n; ++k) {
            // Mostly increasing, with occasional repeats and back-steps.
            const double u = unit(rng);
            position += u < 0.1 ? 0.0 : (u < 0.2 ? -0.05 : 1.2 * unit(rng) / static_cast<double>(n));
            x[k] = position;
            y[k] = unit(rng) * 2.0 - 0.5;
        }
        std::vector<double> points(x);
        for (int k = 0; k < 64; ++k) {
            points.push_back(unit(rng) * 1.6 - 0.3);
        }
        expect_table_matches(x, y, points);
    }
}

}  // namespace
