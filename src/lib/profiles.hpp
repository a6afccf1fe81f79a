// Radial brightness profiles of the stellar disk (r in stellar radii, 0 at
// the centre, 1 at the limb).
#pragma once

#include <cmath>

namespace halomag::models {

// Linear limb darkening, I(r)/I(0) = 1 - a (1 - sqrt(1 - r^2)) with a = 0.6,
// evaluated in the order (1 - sqrt(1 - r^2)) * (-0.6) + 1.
struct LinearLimbDarkening {
    double operator()(double r) const noexcept {
        return (1.0 - std::sqrt(1.0 - r * r)) * (-0.6) + 1.0;
    }
};

// Its flux int_0^1 2 pi r I(r) dr as the tanh-sinh rule of
// numerics/quadrature.hpp computes it (target 1e-16), for the uniform-disk
// route that integrates with that rule; the exact value 0.8 pi is
// 2.5132741228718345, which the ring route (lib/ring_route.hpp) uses.
inline constexpr double LINEAR_LIMB_DARKENING_FLUX = 2.5132741228717936;

}  // namespace halomag::models
