// Magnifications of a star whose brightness is the caller's flux map: radii
// bl and fluxes bf.  The integrated functions read the table as samples of a
// continuous profile, linear between the samples and 0 outside them (one
// sample: that value everywhere), normalised by its own flux; the discrete
// function reads it as thin rings and sums their magnifications.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
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

// What a table's calls share: the profile, the ring route's pieces, lines,
// flux, moments and product weights (TabulatedDisk), and the product weights
// of the uniform-disk route's far path.  A fit passes the same table at
// every call, and a short call spends much of its time building these:
// with 51 radii and 35 separations the ring route costs 19 us per point
// built afresh and 10 us with the plan kept.
struct FluxMapPlan {
    FluxMapPlan(std::vector<double> radii, std::vector<double> fluxes)
        : bl(std::move(radii)), bf(std::move(fluxes)), profile(flux_map(bl, bf)), disk(profile, bl) {}
    std::vector<double> bl, bf;  // the key, bit for bit
    interp::LinearTable profile;
    TabulatedDisk disk;
    DiskRouteProducts disk_route_products;
};

// The few tables used last on this thread, most recent first.  The key is the
// tables' bits (a table changed in place is a new table; NaN matches
// itself), compared in full, never by address.  Each thread keeps its own, so
// the kept weights, which calls fill in as they need them, are never shared
// between threads; a plan in use stays alive (shared ownership) even if a
// nested call on the same thread evicts it.  Tables of more than
// PLAN_KNOTS radii are planned per call and not kept, so what is kept stays
// small: about 13 doubles per radius, under half a megabyte per thread.
constexpr std::size_t PLAN_SLOTS = 4;
constexpr std::size_t PLAN_KNOTS = 1024;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) noexcept {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

std::shared_ptr<FluxMapPlan> plan_for(std::vector<double>& bl, std::vector<double>& bf) {
    thread_local std::array<std::shared_ptr<FluxMapPlan>, PLAN_SLOTS> recent;
    for (std::size_t k = 0; k < recent.size() && recent[k]; ++k) {
        if (same_bits(recent[k]->bl, bl) && same_bits(recent[k]->bf, bf)) {
            std::rotate(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(k),
                        recent.begin() + static_cast<std::ptrdiff_t>(k) + 1);
            return recent[0];
        }
    }
    auto plan = std::make_shared<FluxMapPlan>(std::move(bl), std::move(bf));
    if (plan->bl.size() <= PLAN_KNOTS) {
        std::rotate(recent.begin(), recent.end() - 1, recent.end());
        recent[0] = plan;
    }
    return plan;
}

}  // namespace

Magnifications integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                          std::vector<double> bl,
                                                          std::vector<double> bf, double re,
                                                          double rstar, const Interrupt& interrupt) {
    assert_equal(bl.size(), bf.size());
    const std::shared_ptr<FluxMapPlan> plan = plan_for(bl, bf);
    // A one-sample table is constant: nothing to cut at.
    const std::span<const double> kinks =
        plan->bl.size() >= 2 ? std::span<const double>(plan->bl) : std::span<const double>();
    // The table's exact flux and series weights, as on the ring route.
    const SeriesWeights far_field = plan->disk.series_weights();
    return _integrated_witt_mao_magnification(std::move(l), plan->profile, re, rstar, plan->disk.flux(),
                                              kinks, interrupt, &far_field, &plan->disk_route_products);
}

// The ring route over the table's own pieces, divided by the table's exact
// flux (the integral of the piecewise-linear profile, piece by piece).
Magnifications integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                           std::vector<double> bl,
                                                           std::vector<double> bf, double re,
                                                           double rstar,
                                                           const Interrupt& interrupt) {
    assert_equal(bl.size(), bf.size());
    const std::shared_ptr<FluxMapPlan> plan = plan_for(bl, bf);
    return _integrated_heyrovsky_magnification(std::move(l), plan->disk, re, rstar, interrupt);
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
        std::size_t j = 0;
        // Eight rings per pass, then four, then two, where all are ordinary
        // (no failure possible there), the same sum in the same order (the
        // values within a few ulps of one at a time).
        for (; j + 7 < bl.size(); j += 8) {
            double r[8], g[8];
            for (std::size_t k = 0; k < 8; ++k) {
                r[k] = bl[j + k];
                g[k] = li - bl[j + k];
            }
            if (!ring_octet_ordinary(li, r, g, u)) break;
            double a[8];
            ring_magnification_gap_octet(li, r, g, u, a);
            for (std::size_t k = 0; k < 8; ++k) {
                total += a[k] * bf[j + k];
                if (interrupt(1)) return interrupted();
            }
        }
        for (; j + 3 < bl.size(); j += 4) {
            const double r[4] = {bl[j], bl[j + 1], bl[j + 2], bl[j + 3]};
            const double g[4] = {li - bl[j], li - bl[j + 1], li - bl[j + 2], li - bl[j + 3]};
            if (!ring_pair_ordinary(li, r, g, u) || !ring_pair_ordinary(li, r + 2, g + 2, u)) break;
            double a[4];
            ring_magnification_gap_quad(li, r, g, u, a);
            for (int k = 0; k < 4; ++k) {
                total += a[k] * bf[j + k];
                if (interrupt(1)) return interrupted();
            }
        }
        for (; j + 1 < bl.size(); j += 2) {
            const double r[2] = {bl[j], bl[j + 1]}, g[2] = {li - bl[j], li - bl[j + 1]};
            if (!ring_pair_ordinary(li, r, g, u)) break;
            double a[2];
            ring_magnification_gap_pair(li, r, g, u, a);
            total += a[0] * bf[j];
            if (interrupt(1)) return interrupted();
            total += a[1] * bf[j + 1];
            if (interrupt(1)) return interrupted();
        }
        for (; j < bl.size(); ++j) {
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
