#!/usr/bin/env python3
"""Reference magnifications of stars with linear limb darkening of any
coefficient, with mpmath.

The linear law I(r)/I(0) = 1 - a (1 - mu), mu = sqrt(1 - r^2) (r in stellar
radii), weights the ring means of gen_limb_darkened_reference.py (mpmath's
own Carlson integrals, tanh-sinh quadrature split at r = l); the profile's
flux is integrated by quadrature too, not taken from its closed form
pi (1 - a/3).  30 significant digits, 20 written.

These values check the two-call recipe for any coefficient (README.md),
which combines the uniform-disk and the a = 0.6 magnifications; nothing of
that recipe is used here.

Usage:  python scripts/gen_linear_limb_darkening_reference.py [tests/data/linear_limb_darkening_reference.txt]
"""

import sys

import mpmath
from mpmath import mpf

from gen_limb_darkened_reference import magnification
from reference_io import emit

COEFFICIENTS = ("0", "0.3", "0.7", "1")
RHOS = (0.01, 0.1, 1.0)
SEPARATIONS = (0.0, 0.5, 0.99, 1.0, 1.2, 3.0, 10.0)


def linear_law(a):
    a = mpf(a)
    return lambda r: 1 - a * (1 - mpmath.sqrt(1 - r * r))


def main(argv):
    lines = ["# Linear limb darkening, I(r)/I(0) = 1 - a (1 - sqrt(1 - r^2)) (mpmath, 30 digits;",
             "# scripts/gen_linear_limb_darkening_reference.py).  re = 1, rstar = rho.",
             "# columns: a l rho magnification"]
    for a in COEFFICIENTS:
        for rho in RHOS:
            for l in SEPARATIONS:
                value = magnification(l, rho, linear_law(a), [])
                lines.append(f"{a} {l!r} {rho!r} {mpmath.nstr(value, 20)}")
                print(lines[-1], file=sys.stderr)
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
