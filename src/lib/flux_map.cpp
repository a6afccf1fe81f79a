// Magnifications of a star whose brightness is the caller's flux map: radii
// bl and fluxes bf.  The integrated functions read the table as samples of a
// continuous profile, linear between the samples and 0 outside them (one
// sample: that value everywhere), normalised by its own flux; the discrete
// function reads it as thin rings and sums their magnifications.
#include <utility>

#include "lib/disk_route.hpp"
#include "lib/failure.hpp"
#include "lib/integrated.hpp"
#include "numerics/interp.hpp"

namespace halomag::models {
namespace {

// The flux-map profile with its slopes and intercepts computed once, so that
// the integrand does not allocate; its values equal interp(bl, bf, r, Fill(0))
// bit for bit.
interp::LinearTable flux_map(const std::vector<double>& bl, const std::vector<double>& bf) {
    return interp::LinearTable(bl, bf, interp::OutOfRangeMode::fill(0.0));
}

}  // namespace

Magnifications integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                          std::vector<double> bl,
                                                          std::vector<double> bf, double re,
                                                          double rstar, const Interrupt& interrupt) {
    assert_equal(bl.size(), bf.size());
    const interp::LinearTable profile = flux_map(bl, bf);
    // A one-sample table is constant: nothing to cut at.
    const std::span<const double> kinks =
        bl.size() >= 2 ? std::span<const double>(bl) : std::span<const double>();
    // The table's exact flux and series weights, as on the ring route.
    const TabulatedDisk disk(profile, bl);
    const SeriesWeights far_field = disk.series_weights();
    return _integrated_witt_mao_magnification(std::move(l), profile, re, rstar, disk.flux(), kinks,
                                              interrupt, &far_field);
}

// The ring route over the table's own pieces, divided by the table's exact
// flux (the integral of the piecewise-linear profile, piece by piece).
Magnifications integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                           std::vector<double> bl,
                                                           std::vector<double> bf, double re,
                                                           double rstar,
                                                           const Interrupt& interrupt) {
    assert_equal(bl.size(), bf.size());
    const interp::LinearTable profile = flux_map(bl, bf);
    const TabulatedDisk disk(profile, bl);
    return _integrated_heyrovsky_magnification(std::move(l), disk, re, rstar, interrupt);
}

// The plain weighted sum sum_j bf_j A_ring(l_i, bl_j), not normalised.  The
// first elliptic error ends the call.
Magnifications discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                         std::vector<double> bl,
                                                         std::vector<double> bf, double re,
                                                         double rstar,
                                                         const Interrupt& interrupt) {
    assert_equal(bl.size(), bf.size());
    const double u = re / rstar;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        double total = 0.0;
        for (std::size_t j = 0; j < bl.size(); ++j) {
            const Expected<double> a = ring_magnification(li, bl[j], u);
            if (!a) return std::unexpected(a.error());
            total += *a * bf[j];
            if (interrupt(1)) return interrupted();
        }
        result.push_back(total);
        if (interrupt(1)) return interrupted();
    }
    return result;
}

}  // namespace halomag::models
