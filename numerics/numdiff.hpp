// Numerical differentiation by the symmetric (central) difference.
//
//     f'(x) ~ (f(x + delta) - f(x - delta)) / (2 delta),  delta = (|x| + 1) h.
//
// The truncation error is f'''(x) delta^2 / 6 and the rounding error about
// eps |f| / delta; their sum is smallest for delta of order eps^(1/3), hence
// the default relative step CBRT_EPS (Press et al., Numerical Recipes, 3rd ed.,
// section 5.7, eq. 5.7.8).  Scaling by |x| + 1 keeps the step relative for
// large |x| and never lets it fall below h near zero.
#pragma once

#include <cmath>
#include <optional>

namespace halomag::numdiff {

// Cube root of the double machine epsilon 2^-52, correctly rounded; equal to
// std::cbrt(0x1p-52) with a correctly rounded cbrt (checked by the tests).
inline constexpr double CBRT_EPS = 6.0554544523933395e-06;

// Central difference of f at x with relative step `step` (CBRT_EPS when
// absent).  Exactly two evaluations, f(x + delta) first, then f(x - delta);
// the quotient uses 2 delta as computed, not the difference of the rounded
// abscissae.  A NaN from f gives a NaN result.
template <class F>
double sderivative(F&& f, double x, std::optional<double> step = std::nullopt) noexcept(noexcept(f(0.0))) {
    const double h = step.value_or(CBRT_EPS);
    const double delta = (std::fabs(x) + 1.0) * h;
    const double forward = static_cast<double>(f(x + delta));
    const double backward = static_cast<double>(f(x - delta));
    return (forward - backward) / (2.0 * delta);
}

// The same central difference for an f that evaluates two abscissae at once,
// f2(xs, values) with xs = {x + delta, x - delta}: the same delta, the same
// quotient.
template <class F2>
double sderivative_pair(F2&& f2, double x, std::optional<double> step = std::nullopt) {
    const double h = step.value_or(CBRT_EPS);
    const double delta = (std::fabs(x) + 1.0) * h;
    const double xs[2] = {x + delta, x - delta};
    double values[2];
    f2(xs, values);
    return (values[0] - values[1]) / (2.0 * delta);
}

// The central differences at two points x[0], x[1] for an f that evaluates
// four abscissae at once, f4(xs, values) with xs = {x[0] + delta[0],
// x[0] - delta[0], x[1] + delta[1], x[1] - delta[1]}: each as sderivative_pair
// forms it.
template <class F4>
void sderivative_two(F4&& f4, const double x[2], double out[2], std::optional<double> step = std::nullopt) {
    const double h = step.value_or(CBRT_EPS);
    const double delta[2] = {(std::fabs(x[0]) + 1.0) * h, (std::fabs(x[1]) + 1.0) * h};
    const double xs[4] = {x[0] + delta[0], x[0] - delta[0], x[1] + delta[1], x[1] - delta[1]};
    double values[4];
    f4(xs, values);
    out[0] = (values[0] - values[1]) / (2.0 * delta[0]);
    out[1] = (values[2] - values[3]) / (2.0 * delta[1]);
}

}  // namespace halomag::numdiff
