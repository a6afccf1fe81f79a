// The five profile-weighted magnifications: the built-in linear limb
// darkening and the caller's flux map (bl, bf), through rings and through
// uniform disks, and the plain weighted ring sum.
#include "lib/integrated.hpp"

#include "lib/failure.hpp"
#include "lib/profiles.hpp"
#include "numerics/interp.hpp"

namespace halomag::models {
namespace {

// The flux-map profile: bf interpolated linearly over bl, 0 outside the table.
interp::LinearTable flux_map(const std::vector<double>& bl, const std::vector<double>& bf) {
    return interp::LinearTable(bl, bf, interp::OutOfRangeMode::fill(0.0));
}

}  // namespace

Magnifications integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    return _integrated_witt_mao_magnification(std::move(l), LinearLimbDarkening{}, re, rstar,
                                              LINEAR_LIMB_DARKENING_FLUX);
}

std::vector<double> integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                       double rstar) {
    return _integrated_heyrovsky_magnification(std::move(l), LinearLimbDarkening{}, re, rstar,
                                               LINEAR_LIMB_DARKENING_FLUX);
}

Magnifications integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                          std::vector<double> bl,
                                                          std::vector<double> bf, double re,
                                                          double rstar) {
    assert_equal(bl.size(), bf.size());
    const interp::LinearTable profile = flux_map(bl, bf);
    const double N = profile_flux(profile, bl);
    return _integrated_witt_mao_magnification(std::move(l), profile, re, rstar, N, bl);
}

std::vector<double> integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                                std::vector<double> bl,
                                                                std::vector<double> bf, double re,
                                                                double rstar) {
    assert_equal(bl.size(), bf.size());
    const interp::LinearTable profile = flux_map(bl, bf);
    const double N = profile_flux(profile, bl);
    return _integrated_heyrovsky_magnification(std::move(l), profile, re, rstar, N, bl);
}

Magnifications discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                         std::vector<double> bl,
                                                         std::vector<double> bf, double re,
                                                         double rstar) {
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
        }
        result.push_back(total);
    }
    return result;
}

}  // namespace halomag::models
