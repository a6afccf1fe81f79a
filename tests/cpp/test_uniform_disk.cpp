// The uniform disk far from the star and at the extremes of the double range:
// against mpmath's area integral of the point lens's excess A - 1
// (scripts/gen_magnification_reference.py), across the switch from the closed
// form to the mean-value series, and for inputs from subnormal to huge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "lib/models.hpp"
#include "lib/uniform_disk.hpp"
#include "reference_data.hpp"

using halomag::testing::read_table;
using halomag::testing::relative_error;
namespace models = halomag::models;

namespace {

double disk(double l, double rho) {
    const auto v = models::witt_mao_magnification({l}, 1.0, rho);
    EXPECT_TRUE(v) << "l=" << l << " rho=" << rho;
    return v ? (*v)[0] : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

TEST(UniformDiskFar, MatchesExcessIntegralReference) {
    // l from 2.9 to 1e12, rho from 1e-4 to 1e4; values 1 + 2e-64 included.
    const auto rows = read_table("uniform_disk_far_reference.txt");
    ASSERT_GE(rows.size(), 70u);
    double worst = 0.0;
    for (const auto& row : rows) {
        const double value = disk(row[0], row[1]);
        const double err = relative_error(value, row[2]);
        worst = std::max(worst, err);
        EXPECT_LE(err, 1e-14) << "l=" << row[0] << " rho=" << row[1] << " got " << value
                              << " want " << row[2];
        EXPECT_GE(value, 1.0);
        // Where the excess is above rounding of 1, it is right too.
        if (row[3] > 1e-10) {
            EXPECT_LE(relative_error(value - 1.0, row[3]), 1e-14 * value / row[3] + 1e-14)
                << "l=" << row[0] << " rho=" << row[1];
        }
    }
    std::printf("far disk: worst relative error %.3g over %zu cases\n", worst, rows.size());
}

TEST(UniformDiskFar, ContinuousAcrossTheSwitchToTheSeries) {
    // The closed form's rounding makes neighbouring doubles just below the
    // switch differ by up to 6e-15 (errors of 25 eps at l = 3, measured);
    // the series is accurate to 2 eps.  The step across the switch must be
    // no larger than that noise, and all steps below the accuracy goal.
    for (const double rho : {1e-4, 1e-2, 0.3, 1.0, 30.0, 1e4}) {
        std::vector<double> l;
        double x = models::DISK_SERIES_FROM;
        for (int k = 0; k < 2000; ++k) x = std::nextafter(x, 0.0);
        for (int k = 0; k <= 2000; ++k, x = std::nextafter(x, 4.0)) l.push_back(x);
        ASSERT_EQ(l.back(), models::DISK_SERIES_FROM);
        const auto values = models::witt_mao_magnification(l, 1.0, rho);
        ASSERT_TRUE(values);
        const auto step = [&](std::size_t i) {
            return std::abs((*values)[i + 1] - (*values)[i]) / (*values)[i];
        };
        double noise = 0.0;
        for (std::size_t i = 0; i + 2 < l.size(); ++i) noise = std::max(noise, step(i));
        const double across = step(l.size() - 2);
        EXPECT_LE(noise, 1e-14) << "rho=" << rho;
        EXPECT_LE(across, std::max(noise, 4.0 * 2.220446049250313e-16)) << "rho=" << rho;
    }
}

TEST(UniformDiskFar, NeverBelowOneAndFiniteOverPhysicalInputs) {
    // Log-uniform l, re and rstar over 1e-12 .. 1e12: the point lens never
    // dims the source (the old closed form gave 0.22 at l = 1.4e8).
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> decade(-12.0, 12.0);
    for (int i = 0; i < 20000; ++i) {
        const double l = std::pow(10.0, decade(rng)), re = std::pow(10.0, decade(rng)),
                     rstar = std::pow(10.0, decade(rng));
        const auto v = models::witt_mao_magnification({l}, re, rstar);
        ASSERT_TRUE(v);
        const double a = (*v)[0];
        ASSERT_TRUE(std::isfinite(a) && a >= 1.0) << l << " " << re << " " << rstar << " " << a;
    }
}

TEST(UniformDiskFar, ExtremesOfTheDoubleRange) {
    const double huge = std::numeric_limits<double>::max();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Separations up to the largest double, and u = l rho overflowing: 1.
    for (const double rho : {1e-300, 1e-4, 1.0, 1e300}) EXPECT_EQ(disk(huge, rho), 1.0) << rho;
    for (const double rho : {1e-100, 1.0, 1e300}) EXPECT_EQ(disk(1e200, rho), 1.0) << rho;
    // u = 1e-100 with a far smaller star: the point source 1/u.
    EXPECT_LE(relative_error(disk(1e200, 1e-300), 1e100), 1e-15);
    // A huge star: 1 + O(1/rho^2).
    for (const double l : {0.0, 0.5, 1.0, 2.0, 1e10}) EXPECT_EQ(disk(l, 1e30), 1.0) << l;
    EXPECT_EQ(disk(0.5, std::numeric_limits<double>::infinity()), 1.0);  // re = 0: no lens
    // A tiny star: A rho is a function of l alone, sqrt(rho^2 + 4) at l = 0.
    for (const double rho : {1e-20, 1e-100, 1e-300}) {
        EXPECT_LE(relative_error(disk(0.0, rho) * rho, 2.0), 1e-15) << rho;
        EXPECT_LE(relative_error(disk(0.5, rho) * rho, disk(0.5, 1e-19) * 1e-19), 1e-14) << rho;
        EXPECT_LE(relative_error(disk(1.0, rho) * rho, 4.0 / 3.141592653589793), 1e-14) << rho;
        EXPECT_LE(relative_error(disk(7.0, rho) * rho, disk(7.0, 1e-19) * 1e-19), 1e-14) << rho;
    }
    // Subnormal separations sit at the centre; a subnormal star is brighter
    // than the largest double.
    EXPECT_EQ(disk(tiny, 0.5), disk(0.0, 0.5));
    EXPECT_EQ(disk(0.5, tiny), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(disk(nan, 0.5)));
    EXPECT_TRUE(std::isnan(disk(0.5, nan)));
    // NaN in one separation leaves the others alone.
    const auto mixed = models::witt_mao_magnification({0.5, nan, 5.0}, 1.0, 0.1);
    ASSERT_TRUE(mixed);
    EXPECT_EQ((*mixed)[0], disk(0.5, 0.1));
    EXPECT_TRUE(std::isnan((*mixed)[1]));
    EXPECT_EQ((*mixed)[2], disk(5.0, 0.1));
}

TEST(UniformDiskFar, InterruptStopsTheLoop) {
    struct Counter {
        int calls = 0;
        bool stop = false;
    } counter;
    const models::Interrupt interrupt(
        [](void* c) noexcept {
            auto* k = static_cast<Counter*>(c);
            ++k->calls;
            return k->stop;
        },
        &counter);
    const std::vector<double> l(3 * models::Interrupt::PERIOD, 2.0);
    const auto done = models::witt_mao_magnification(l, 1.0, 0.1, interrupt);
    ASSERT_TRUE(done);
    EXPECT_EQ(counter.calls, 3);  // once per PERIOD separations
    counter.stop = true;
    const models::Interrupt stopping(interrupt);
    const auto stopped = models::witt_mao_magnification(l, 1.0, 0.1, stopping);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().message, models::INTERRUPTED);
}
