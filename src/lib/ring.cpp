#include "lib/ring.hpp"

#include "lib/models.hpp"

namespace halomag::models {

Expected<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
    return ring_magnification(l, r, re / rstar);
}

}  // namespace halomag::models
