// The built-in linear limb darkening through rings and through uniform disks.
#include "lib/integrated.hpp"

#include <utility>

#include "lib/profiles.hpp"

namespace halomag::models {

Magnifications integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    return _integrated_witt_mao_magnification(std::move(l), LinearLimbDarkening{}, re, rstar,
                                              LINEAR_LIMB_DARKENING_FLUX);
}

Magnifications integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                  const Interrupt& interrupt) {
    return _integrated_heyrovsky_magnification(std::move(l), LinearLimbDarkening{},
                                               LimbDarkenedDisk{}, re, rstar, interrupt);
}

}  // namespace halomag::models
