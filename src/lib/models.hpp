// The magnification models: pure C++ functions of plain values.
//
// Lengths: separations `l` and ring radii `r` in stellar radii; `re` (Einstein
// radius) and `rstar` (stellar radius) in any common unit, only their ratio
// enters.  Each function takes ownership of its vectors (they are moved in and
// released on every path) and returns one magnification per separation, in
// the order of `l`, or the first error of an elliptic integral, unchanged.
#pragma once

#include <vector>

#include "elliptic/result.hpp"
#include "lib/interrupt.hpp"

namespace halomag::models {

using Magnifications = Expected<std::vector<double>>;

// Uniform disk, closed form of Witt & Mao (1994).
Magnifications witt_mao_magnification(std::vector<double> l, double re, double rstar);

// Mean point-lens magnification over the ring of radius r about the stellar
// centre at separation l (Heyrovsky's building block).
Expected<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// Built-in linear limb darkening, coefficient 0.6, through the uniform-disk route.
Magnifications integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar);

// Flux map (bl, bf) through the uniform-disk route.
Magnifications integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                          std::vector<double> bl,
                                                          std::vector<double> bf, double re,
                                                          double rstar);

// Built-in linear limb darkening through Heyrovsky's ring decomposition.
// These three fail only with INTERRUPTED, when `interrupt` asks them to stop.
Magnifications integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                  const Interrupt& interrupt = {});

// Flux map (bl, bf) through Heyrovsky's ring decomposition.
Magnifications integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                           std::vector<double> bl,
                                                           std::vector<double> bf, double re,
                                                           double rstar,
                                                           const Interrupt& interrupt = {});

// Plain weighted ring sum  sum_j bf_j * A(l_i, bl_j).
Magnifications discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                         std::vector<double> bl,
                                                         std::vector<double> bf, double re,
                                                         double rstar,
                                                         const Interrupt& interrupt = {});

}  // namespace halomag::models
