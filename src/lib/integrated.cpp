// The built-in linear limb darkening through rings and through uniform disks.
#include "lib/integrated.hpp"

#include <utility>

#include "lib/disk_route.hpp"
#include "lib/profiles.hpp"

namespace halomag::models {

Magnifications integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                 const Interrupt& interrupt) {
    static constexpr SeriesWeights far_field = limb_darkened_series_weights();
    return _integrated_witt_mao_magnification(std::move(l), LinearLimbDarkening{}, re, rstar,
                                              LINEAR_LIMB_DARKENING_EXACT_FLUX, {}, interrupt,
                                              &far_field);
}

Magnifications integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                  const Interrupt& interrupt) {
    return _integrated_heyrovsky_magnification(std::move(l), LimbDarkenedDisk{}, re, rstar, interrupt);
}

}  // namespace halomag::models
