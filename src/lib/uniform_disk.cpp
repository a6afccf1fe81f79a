#include "lib/uniform_disk.hpp"

#include "lib/models.hpp"

namespace halomag::models {

Magnifications witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                      const Interrupt& interrupt) {
    const double rho = rstar / re;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        if (interrupt()) return interrupted();
        const Expected<double> a = uniform_disk_magnification(li * rho, rho);
        if (!a) return std::unexpected(a.error());
        result.push_back(*a);
    }
    return result;
}

}  // namespace halomag::models
