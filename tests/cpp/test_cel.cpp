// Bulirsch's cel against mpmath at 50 digits (scripts/gen_cel_reference.py,
// Legendre's complete integrals recombined at high precision).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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

}  // namespace
