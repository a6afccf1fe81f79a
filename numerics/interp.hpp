// Piecewise-linear interpolation through a table of samples.
//
// Between samples x_k and x_{k+1} the value is m_k xp + c_k with the slope
// m_k = (y_{k+1} - y_k) / (x_{k+1} - x_k) and the intercept c_k = y_k - x_k m_k
// taken from the left sample.  The segment is chosen by counting the leading
// samples below xp, so a point equal to a sample x_k (k >= 1) lies on the
// segment that ends there, and points left of x_0 (right of x_{n-1}) use the
// first (last) segment.  Outside [x_0, x_{n-1}] an OutOfRangeMode decides.
//
// Only the first n = min(len x, len y) samples are used.  x is expected to be
// increasing but is not checked: the count always scans from x_0 and stops at
// the first sample that is not below xp, so unsorted tables, NaN samples and
// repeated abscissae give well-defined (if not meaningful) results.  A NaN xp
// gives NaN under every mode, since no comparison with it holds.
//
// `interp` evaluates one point with no allocation; `LinearTable` caches the
// coefficients for repeated evaluation of one table and gives bit for bit the
// same values.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace halomag::interp {

// Policy for points outside [x_0, x_{n-1}].
struct OutOfRangeMode {
    enum class Kind : unsigned char {
        ExtendEndSegment,  // continue the first or last segment's line
        ClampToEnds,       // y_0 left of the table, y_{n-1} right of it
        Fill,              // the constant fill_value on both sides
    };

    Kind kind = Kind::ExtendEndSegment;
    double fill_value = 0.0;  // used by Kind::Fill only

    static constexpr OutOfRangeMode extend_end_segment() noexcept { return {Kind::ExtendEndSegment, 0.0}; }
    static constexpr OutOfRangeMode clamp_to_ends() noexcept { return {Kind::ClampToEnds, 0.0}; }
    static constexpr OutOfRangeMode fill(double value) noexcept { return {Kind::Fill, value}; }
};

namespace detail {

// Index of the segment used for xp among n >= 2 samples: the number of leading
// samples with x_k < xp, minus one, clamped to [0, n - 2].
inline std::size_t segment_by_scan(const double* x, std::size_t n, double xp) noexcept {
    std::size_t below = 0;
    while (below < n && x[below] < xp) {
        ++below;
    }
    const std::size_t i = below == 0 ? 0 : below - 1;
    return std::min(i, n - 2);
}

inline double slope(double x0, double x1, double y0, double y1) noexcept {
    return (y1 - y0) / (x1 - x0);
}

inline double intercept(double x0, double y0, double m) noexcept {
    return y0 - x0 * m;
}

// Range policy applied to the in-segment value.
inline double apply_mode(double value, double xp, double x_first, double x_last, double y_first,
                         double y_last, OutOfRangeMode mode) noexcept {
    if (mode.kind != OutOfRangeMode::Kind::ExtendEndSegment) {
        const bool fill = mode.kind == OutOfRangeMode::Kind::Fill;
        if (xp < x_first) {
            return fill ? mode.fill_value : y_first;
        }
        if (xp > x_last) {
            return fill ? mode.fill_value : y_last;
        }
    }
    return value;
}

}  // namespace detail

// Value at xp of the piecewise-linear function through (x_k, y_k).  An empty
// table gives 0.0; a one-sample table gives y_0 for every xp and every mode.
inline double interp(std::span<const double> x, std::span<const double> y, double xp,
                     OutOfRangeMode mode) noexcept {
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0) {
        return 0.0;
    }
    if (n == 1) {
        return y[0];
    }
    const std::size_t i = detail::segment_by_scan(x.data(), n, xp);
    const double m = detail::slope(x[i], x[i + 1], y[i], y[i + 1]);
    const double c = detail::intercept(x[i], y[i], m);
    const double value = m * xp + c;
    return detail::apply_mode(value, xp, x[0], x[n - 1], y[0], y[n - 1], mode);
}

// One table prepared for many evaluations: the slopes and intercepts are
// computed once with the same expressions as `interp`, and the segment is
// found by binary search over the running maximum of x, so every value equals
// interp(x, y, xp, mode) bit for bit, for any table.
//
// Why the running maximum: the scan stops at the first k with !(x_k < xp).
// With M_k = max(x_0 .. x_k), NaN counted as +infinity, x_j < xp for all
// j <= k exactly when M_k < xp, so the stopping index is the first k with
// !(M_k < xp); M is non-decreasing, so that predicate is monotone in k and a
// binary search finds it even when x itself is unsorted.
class LinearTable {
public:
    LinearTable(std::span<const double> x, std::span<const double> y, OutOfRangeMode mode)
        : n_(std::min(x.size(), y.size())), mode_(mode) {
        if (n_ == 0) {
            return;
        }
        x_first_ = x[0];
        y_first_ = y[0];
        x_last_ = x[n_ - 1];
        y_last_ = y[n_ - 1];
        if (n_ == 1) {
            return;
        }
        running_max_.resize(n_);
        slope_.resize(n_ - 1);
        intercept_.resize(n_ - 1);
        double highest = -std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < n_; ++k) {
            const double xk = std::isnan(x[k]) ? std::numeric_limits<double>::infinity() : x[k];
            highest = std::max(highest, xk);
            running_max_[k] = highest;
        }
        for (std::size_t k = 0; k + 1 < n_; ++k) {
            slope_[k] = detail::slope(x[k], x[k + 1], y[k], y[k + 1]);
            intercept_[k] = detail::intercept(x[k], y[k], slope_[k]);
        }
    }

    double operator()(double xp) const noexcept {
        if (n_ == 0) {
            return 0.0;
        }
        if (n_ == 1) {
            return y_first_;
        }
        const auto stop = std::partition_point(running_max_.begin(), running_max_.end(),
                                               [xp](double m) { return m < xp; });
        const auto below = static_cast<std::size_t>(stop - running_max_.begin());
        const std::size_t i = std::min(below == 0 ? std::size_t{0} : below - 1, n_ - 2);
        const double value = slope_[i] * xp + intercept_[i];
        return detail::apply_mode(value, xp, x_first_, x_last_, y_first_, y_last_, mode_);
    }

    std::size_t size() const noexcept { return n_; }

private:
    std::size_t n_;
    OutOfRangeMode mode_;
    double x_first_ = 0.0;
    double x_last_ = 0.0;
    double y_first_ = 0.0;
    double y_last_ = 0.0;
    std::vector<double> running_max_;
    std::vector<double> slope_;
    std::vector<double> intercept_;
};

}  // namespace halomag::interp
