#!/usr/bin/env python3
"""Write the node table of the tanh-sinh quadrature as a C++ header.

The rule (Takahasi & Mori 1974, "Double exponential formulas for numerical
integration", Publ. RIMS Kyoto Univ. 9, 721) maps [-1, 1] onto the real line by

    x(t) = tanh((pi/2) sinh t),
    x'(t) = (pi/2) cosh t / cosh^2((pi/2) sinh t),

and applies the trapezoidal rule with step h in t.  The integrand decays
double-exponentially in t, so truncating at |t| = 3 (where 1 - x is about
4e-14) loses almost nothing.  The table is nested by halving the step:

    level 0:       h = 1,     t = 1, 2, 3
    level l >= 1:  h = 2^-l,  t = (2j + 1) h  for j = 0 .. 3*2^(l-1) - 1

so each level adds only the odd multiples of its step and a refinement reuses
every earlier evaluation.  Seven levels give 3+3+6+12+24+48+96 = 192 pairs.
Each pair is (w, x) with w = h x'(t); the weight carries its level's step.
The centre node t = 0 is handled by the integrator and is not stored.

Every entry is the correctly rounded double of the exact value: the rule is
evaluated with mpmath at 60 significant digits, the nearest double is chosen
among the float conversion and its two neighbours, and the script refuses to
write an entry whose exact value lies too close to a rounding midpoint to be
decided at that precision.  The entries are written as hexadecimal floating
literals, which the compiler reads exactly.

Usage:
    python scripts/gen_quadrature_table.py                      # to stdout
    python scripts/gen_quadrature_table.py numerics/quadrature_table.hpp
"""

import math
import sys

import mpmath

from reference_io import write_or_print

DIGITS = 60
LEVELS = 7
T_MAX = 3


def level_points(level):
    """(step, [t ...]) of one level, as exact mpmath rationals."""
    if level == 0:
        return mpmath.mpf(1), [mpmath.mpf(t) for t in range(1, T_MAX + 1)]
    h = mpmath.ldexp(1, -level)
    count = 3 * 2 ** (level - 1)
    return h, [(2 * j + 1) * h for j in range(count)]


def t_label(level, j_or_t):
    if level == 0:
        return str(j_or_t)
    return f"{2 * j_or_t + 1}/{2 ** level}"


def correctly_rounded(value):
    """The double nearest to the mpf `value`, with a check that it is decided."""
    guess = float(value)
    candidates = [math.nextafter(guess, -math.inf), guess, math.nextafter(guess, math.inf)]
    best = min(candidates, key=lambda d: abs(mpmath.mpf(d) - value))
    # Distance to the two midpoints around `best` must exceed the working error.
    lo = (mpmath.mpf(best) + mpmath.mpf(math.nextafter(best, -math.inf))) / 2
    hi = (mpmath.mpf(best) + mpmath.mpf(math.nextafter(best, math.inf))) / 2
    margin = abs(value) * mpmath.mpf(10) ** (-(DIGITS - 10))
    if min(abs(value - lo), abs(value - hi)) <= margin:
        raise ArithmeticError(f"rounding of {value} is not decided at {DIGITS} digits")
    return best


def nodes():
    """Yield (level, label, weight, abscissa) in table order."""
    half_pi = mpmath.pi / 2
    for level in range(LEVELS):
        h, ts = level_points(level)
        for j, t in enumerate(ts):
            u = half_pi * mpmath.sinh(t)
            x = mpmath.tanh(u)
            w = h * half_pi * mpmath.cosh(t) / mpmath.cosh(u) ** 2
            label = t_label(level, j + 1 if level == 0 else j)
            yield level, label, correctly_rounded(w), correctly_rounded(x)


def render():
    with mpmath.workdps(DIGITS):
        table = list(nodes())
    counts = [sum(1 for n in table if n[0] == level) for level in range(LEVELS)]
    offsets = [0]
    for c in counts:
        offsets.append(offsets[-1] + c)
    for _, _, w, x in table:
        assert 0.0 < x < 1.0 and w > 0.0

    out = []
    emit = out.append
    emit("// Node table of the tanh-sinh (double-exponential) quadrature rule.")
    emit("//")
    emit("// GENERATED FILE, do not edit.  Written by scripts/gen_quadrature_table.py:")
    emit("//     python scripts/gen_quadrature_table.py numerics/quadrature_table.hpp")
    emit("// and checked against a fresh run by tests/python/test_quadrature_table.py.")
    emit("//")
    emit("// Pairs (w, x) with x = tanh((pi/2) sinh t), w = h (pi/2) cosh t / cosh^2((pi/2) sinh t);")
    emit("// level 0 has h = 1 and t = 1, 2, 3; level l >= 1 has h = 2^-l and t the odd")
    emit("// multiples of h below 3.  Each value is the correctly rounded double of the")
    emit(f"// rule, evaluated with mpmath at {DIGITS} digits, written as an exact hex literal.")
    emit("#pragma once")
    emit("")
    emit("#include <array>")
    emit("#include <cstddef>")
    emit("")
    emit("namespace halomag::quadrature::double_exponential::table {")
    emit("")
    emit("struct Node {")
    emit("    double weight;")
    emit("    double abscissa;")
    emit("};")
    emit("")
    emit(f"inline constexpr std::size_t LEVELS = {LEVELS};")
    emit("")
    emit("// Level l occupies NODES[LEVEL_OFFSET[l]] .. NODES[LEVEL_OFFSET[l + 1] - 1].")
    emit(f"inline constexpr std::array<std::size_t, {LEVELS + 1}> LEVEL_OFFSET = {{"
         + ", ".join(str(o) for o in offsets) + "};")
    emit("")
    emit(f"inline constexpr std::array<Node, {len(table)}> NODES = {{{{")
    previous = None
    for level, label, w, x in table:
        if level != previous:
            emit(f"    // level {level}: {counts[level]} pairs")
            previous = level
        emit(f"    {{{w.hex()}, {x.hex()}}},  // t = {label}")
    emit("}};")
    emit("")
    emit("}  // namespace halomag::quadrature::double_exponential::table")
    return "\n".join(out) + "\n"


def main(argv):
    return write_or_print(render(), argv, "gen_quadrature_table.py [OUTPUT]")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
