// Bulirsch's cel against mpmath at 50 digits (scripts/gen_cel_reference.py,
// Legendre's complete integrals recombined at high precision), and its
// two-at-once forms against it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "elliptic/cel.hpp"
#include "reference_data.hpp"

using halomag::ellip::cel;
using halomag::testing::read_table;

namespace {

constexpr double EPS = 2.220446049250313e-16;

TEST(Cel, AgreesWithMpmathToAFewUlpsOfItsScale) {
    const auto rows = read_table("cel_reference.txt");
    ASSERT_GE(rows.size(), 250u);
    double worst = 0.0;
    for (const auto& row : rows) {
        const double value = cel(row[0], row[1], row[2], row[3]);
        // Judged against the integral of |integrand|: a combination that
        // cancels cannot be better than rounding of its parts.
        const double error = std::fabs(value - row[4]) / row[5];
        worst = std::fmax(worst, error);
        EXPECT_LE(error, 8.0 * EPS) << "cel(" << row[0] << ", " << row[1] << ", " << row[2]
                                    << ", " << row[3] << ")";
    }
    std::printf("cel: worst error %.2f ulps of the scale over %zu cases\n", worst / EPS,
                rows.size());
}

// cel_rooted takes the integral in its first step's variables, sqrt(p) and
// b/sqrt(p), as a caller with them in closed form passes them (the ring
// mean); against mpmath with those formed from the reference's p and b.
TEST(Cel, RootedVariablesAgreeWithMpmath) {
    const auto rows = read_table("cel_reference.txt");
    double worst = 0.0;
    std::size_t count = 0;
    for (const auto& row : rows) {
        if (!(row[1] > 0.0) || row[0] == 0.0) continue;
        const double root = std::sqrt(row[1]);
        const double value = halomag::ellip::cel_rooted(row[0], root, row[2], row[3] / root);
        const double error = std::fabs(value - row[4]) / row[5];
        worst = std::fmax(worst, error);
        EXPECT_LE(error, 8.0 * EPS) << "cel_rooted(" << row[0] << ", " << root << ", " << row[2] << ", "
                                    << row[3] / root << ")";
        ++count;
    }
    EXPECT_GE(count, 200u);
    std::printf("cel_rooted: worst error %.2f ulps of the scale over %zu cases\n", worst / EPS, count);
}

TEST(Cel, ClassicalSpecialValues) {
    // K(0) = E(0) = pi/2; Pi(n | 0) = pi / (2 sqrt(1 - n)) (DLMF 19.6.1-2).
    constexpr double HALF_PI = 1.5707963267948966;
    EXPECT_DOUBLE_EQ(cel(1.0, 1.0, 1.0, 1.0), HALF_PI);
    EXPECT_DOUBLE_EQ(cel(1.0, 0.25, 1.0, 1.0), HALF_PI / 0.5);
    // The sign of kc does not matter; kc = 0 diverges; NaN propagates.
    EXPECT_EQ(cel(-0.3, 0.7, 1.2, 0.4), cel(0.3, 0.7, 1.2, 0.4));
    EXPECT_EQ(cel(0.0, 0.5, 1.0, 1.0), HUGE_VAL);
    EXPECT_TRUE(std::isnan(cel(std::nan(""), 0.5, 1.0, 1.0)));
    EXPECT_TRUE(std::isnan(cel(0.5, std::nan(""), 1.0, 1.0)));
}

// The two-lane forms against cel on the reference arguments, paired with
// each other in both orders (lanes that converge at different steps): both
// lanes step to the later convergence, which changes a result by rounding
// only.
TEST(Cel, PairsAgreeWithSingleIntegrals) {
    const auto rows = read_table("cel_reference.txt");
    double worst = 0.0;
    int pairs = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& x = rows[i];
        const auto& y = rows[(i * 7 + 3) % rows.size()];
        if (!(x[1] > 0.0 && y[1] > 0.0)) continue;  // the pair needs p > 0
        const double kc[2] = {x[0], y[0]}, p[2] = {x[1], y[1]}, a[2] = {x[2], y[2]}, b[2] = {x[3], y[3]};
        double pair[2];
        halomag::ellip::cel_pair(kc, p, a, b, pair);
        const double single[2] = {cel(x[0], x[1], x[2], x[3]), cel(y[0], y[1], y[2], y[3])};
        const double scale[2] = {x[5], y[5]};
        for (int k = 0; k < 2; ++k) {
            const double error = std::fabs(pair[k] - single[k]) / scale[k];
            worst = std::fmax(worst, error);
            EXPECT_LE(error, 4.0 * EPS) << i << " lane " << k;
        }
        // Each kc with its own and the other row's p, a, b: two integrals
        // per kc in one pass.
        double first[2], second[2];
        const double p2[2] = {y[1], x[1]}, a2[2] = {y[2], x[2]}, b2[2] = {y[3], x[3]};
        halomag::ellip::cel_pair_shared(kc, p, a, b, p2, a2, b2, first, second);
        EXPECT_LE(std::fabs(first[0] - single[0]) / x[5], 4.0 * EPS) << i;
        EXPECT_LE(std::fabs(first[1] - single[1]) / y[5], 4.0 * EPS) << i;
        EXPECT_LE(std::fabs(second[0] / cel(x[0], y[1], y[2], y[3]) - 1.0), 8.0 * EPS) << i;
        EXPECT_LE(std::fabs(second[1] / cel(y[0], x[1], x[2], x[3]) - 1.0), 8.0 * EPS) << i;
        // Four lanes are two pairs, interleaved: each pair's values bit for
        // bit (this pair, and the rows' lanes crossed, which converge at
        // other steps).
        const double kc4[4] = {x[0], y[0], y[0], x[0]}, p4[4] = {x[1], y[1], y[1], x[1]};
        const double a4[4] = {x[2], y[2], y[2], x[2]}, b4[4] = {x[3], y[3], y[3], x[3]};
        double quad[4], crossed[2];
        halomag::ellip::cel_quad(kc4, p4, a4, b4, quad);
        halomag::ellip::cel_pair(kc4 + 2, p4 + 2, a4 + 2, b4 + 2, crossed);
        EXPECT_EQ(quad[0], pair[0]) << i;
        EXPECT_EQ(quad[1], pair[1]) << i;
        EXPECT_EQ(quad[2], crossed[0]) << i;
        EXPECT_EQ(quad[3], crossed[1]) << i;
        ++pairs;
    }
    EXPECT_GE(pairs, 100);
    std::printf("cel_pair: within %.2f ulps of the scale of cel over %d pairs\n", worst / EPS, pairs);
}

// Eight integrals at once (four lanes to a register where the processor
// has them, else two fours) against one at a time, in cel_rooted's
// variables: eight different rows per octet, so that the lanes of a group
// converge at different steps and the early ones step on.
TEST(Cel, OctetsAgreeWithSingleIntegrals) {
    const auto rows = read_table("cel_reference.txt");
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i][0] != 0.0 && rows[i][1] > 0.0) usable.push_back(i);
    }
    ASSERT_GE(usable.size(), 16u);
    double worst = 0.0;
    for (std::size_t start = 0; start < usable.size(); ++start) {
        double kc[8], root[8], a[8], b_root[8], octet[8];
        std::size_t row[8];
        for (std::size_t k = 0; k < 8; ++k) {
            row[k] = usable[(start + 5 * k) % usable.size()];
            const auto& x = rows[row[k]];
            kc[k] = x[0];
            root[k] = std::sqrt(x[1]);
            a[k] = x[2];
            b_root[k] = x[3] / root[k];
        }
        halomag::ellip::cel_octet_rooted(kc, root, a, b_root, octet);
        for (std::size_t k = 0; k < 8; ++k) {
            const auto& x = rows[row[k]];
            const double error = std::fabs(octet[k] - halomag::ellip::cel_rooted(kc[k], root[k], a[k], b_root[k])) / x[5];
            worst = std::fmax(worst, error);
            EXPECT_LE(error, 4.0 * EPS) << row[k] << " lane " << k;
        }
    }
    std::printf("cel_octet_rooted: within %.2f ulps of the scale of cel_rooted\n", worst / EPS);
}

}  // namespace
