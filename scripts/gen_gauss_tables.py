#!/usr/bin/env python3
"""Write the node tables of the Gauss rules on [0, 1] as a C++ header.

Two families, each rule stored as three arrays of correctly rounded doubles:
the nodes t_i in ascending order, their complements 1 - t_i (each rounded on
its own, so that a caller has the distance to either end of the interval to
full relative precision) and the weights w_i.

Gauss-Legendre, n = 1 .. LEGENDRE_MAX
    The n-point rule exact for polynomials of degree <= 2n - 1 on [0, 1]:
    t_i = (1 + x_i)/2 with x_i the zeros of the Legendre polynomial P_n, and
    w_i = 1 / ((1 - x_i^2) P_n'(x_i)^2), half the weight on [-1, 1] [1, 2].
    The zeros are found by Newton's method from Tricomi's approximation
    x ~ -cos(pi (i - 1/4)/(n + 1/2)) [3]; P_n and P_n' come from the
    three-term recurrence.  The rule is symmetric, so only the lower half is
    computed and mirrored: t_{n+1-i} = 1 - t_i exactly.

Generalised Gauss rules for a logarithmic end point, n = 1 .. LOG_END_MAX
    The n-point rule with nodes in (0, 1) and positive weights that is exact
    for the 2n functions t^k and t^k ln t, k = 0 .. n - 1.  These functions
    form an extended Chebyshev system on (0, 1], so the rule exists and is
    unique [4, 5].  It is the solution of the 2n moment equations

        sum_i w_i phi_k(t_i) = integral_0^1 phi_k(t) dt,

    solved by Newton's method in mpmath.  The basis used is the shifted
    Legendre polynomial Ps_k(t) = P_k(2t - 1) and Ps_k(t) ln t (the same span
    as the monomials, far better conditioned), with moments
        integral_0^1 Ps_k = delta_k0,
        integral_0^1 Ps_k ln t = sum_j c_kj * (-1/(j + 1)^2)
    evaluated exactly in rationals from the coefficients c_kj of Ps_k.  The
    unknowns are written as t_i = 1/(1 + exp(-s_i)) and w_i = exp(v_i), so
    every iterate has nodes in (0, 1) and positive weights; steps are damped
    until the residual norm decreases.  The n-point rule starts from the
    (n - 1)-point rule with a node added below the smallest one (the nodes
    crowd geometrically towards the singular end as n grows).  Each rule is
    then polished at a higher precision and accepted only if all 2n moment
    residuals are below 1e-40 relative, the nodes are strictly increasing in
    (0, 1) and the weights positive.

Every entry is the correctly rounded double of the exact value: the nearest
double is chosen among the float conversion and its two neighbours, and the
script refuses to write an entry whose exact value lies too close to a
rounding midpoint to be decided at the working precision.  The entries are
written as hexadecimal floating literals, which the compiler reads exactly.

References
  [1] G. H. Golub, J. H. Welsch, "Calculation of Gauss quadrature rules",
      Math. Comp. 23 (1969) 221-230.
  [2] NIST Digital Library of Mathematical Functions, eqs. 3.5.15 and 3.5.19.
  [3] F. G. Tricomi, "Sugli zeri dei polinomi sferici ed ultrasferici",
      Ann. Mat. Pura Appl. 31 (1950) 93-97.
  [4] J. Ma, V. Rokhlin, S. Wandzura, "Generalized Gaussian quadrature rules
      for systems of arbitrary functions", SIAM J. Numer. Anal. 33 (1996)
      971-996.
  [5] S. Karlin, W. J. Studden, "Tchebycheff systems: with applications in
      analysis and statistics", Interscience, 1966 (ch. II and VI).

Usage:
    python scripts/gen_gauss_tables.py                      # to stdout
    python scripts/gen_gauss_tables.py numerics/gauss_tables.hpp
"""

import math
import sys

import mpmath

LEGENDRE_MAX = 64
LEGENDRE_DIGITS = 60


def correctly_rounded(value, digits):
    """The double nearest to the mpf `value`, with a check that it is decided.

    `value` must be accurate to about `digits` significant digits."""
    guess = float(value)
    candidates = [math.nextafter(guess, -math.inf), guess, math.nextafter(guess, math.inf)]
    best = min(candidates, key=lambda d: abs(mpmath.mpf(d) - value))
    lo = (mpmath.mpf(best) + mpmath.mpf(math.nextafter(best, -math.inf))) / 2
    hi = (mpmath.mpf(best) + mpmath.mpf(math.nextafter(best, math.inf))) / 2
    margin = abs(value) * mpmath.mpf(10) ** (-(digits - 10))
    if min(abs(value - lo), abs(value - hi)) <= margin:
        raise ArithmeticError(f"rounding of {value} is not decided at {digits} digits")
    return best


# --------------------------------------------------------------------------
# Gauss-Legendre


def legendre_and_derivative(n, x):
    """P_n(x) and P_n'(x) by the three-term recurrence (DLMF 18.9.1)."""
    p_prev, p = mpmath.mpf(1), x
    if n == 0:
        return p_prev, mpmath.mpf(0)
    for k in range(1, n):
        p_prev, p = p, ((2 * k + 1) * x * p - k * p_prev) / (k + 1)
    # (1 - x^2) P_n' = n (P_{n-1} - x P_n)   (DLMF 18.9.19)
    return p, n * (p_prev - x * p) / (1 - x * x)


def legendre_rule(n):
    """(t, 1 - t, w) of the n-point Gauss-Legendre rule on [0, 1], as mpf lists.

    Computed at the current mpmath precision."""
    eps = mpmath.mpf(2) ** (-mpmath.mp.prec + 8)
    half = []  # the nodes x < 0 on [-1, 1] and the centre when n is odd
    for i in range(1, (n + 1) // 2 + 1):
        x = -mpmath.cos(mpmath.pi * (i - mpmath.mpf(1) / 4) / (n + mpmath.mpf(1) / 2))
        if 2 * i - 1 == n:
            x = mpmath.mpf(0)  # the centre node of an odd rule, exactly
        else:
            for _ in range(100):
                p, dp = legendre_and_derivative(n, x)
                step = p / dp
                x -= step
                if abs(step) < eps:
                    break
            else:
                raise ArithmeticError(f"Newton's method failed for the Legendre node {i} of {n}")
        p, dp = legendre_and_derivative(n, x)
        w = 1 / ((1 - x * x) * dp * dp)
        half.append(((1 + x) / 2, (1 - x) / 2, w))
    lower = [node for node in half if node[0] < mpmath.mpf(1) / 2]
    centre = [node for node in half if node[0] == mpmath.mpf(1) / 2]
    upper = [(c, t, w) for (t, c, w) in reversed(lower)]
    rule = lower + centre + upper
    assert len(rule) == n
    return [r[0] for r in rule], [r[1] for r in rule], [r[2] for r in rule]


def legendre_tables():
    """{n: (t, 1 - t, w)} of correctly rounded doubles, n = 1 .. LEGENDRE_MAX."""
    out = {}
    with mpmath.workdps(LEGENDRE_DIGITS + 20):
        for n in range(1, LEGENDRE_MAX + 1):
            t, c, w = legendre_rule(n)
            out[n] = tuple([correctly_rounded(v, LEGENDRE_DIGITS) for v in column] for column in (t, c, w))
    return out


# --------------------------------------------------------------------------
# The header


def emit_family(emit, prefix, tables, what):
    nmax = max(tables)
    total = sum(len(tables[n][0]) for n in tables)
    offsets = [0]
    for n in range(1, nmax + 1):
        offsets.append(offsets[-1] + n)
    emit(f"inline constexpr std::size_t {prefix}_MAX = {nmax};")
    emit("")
    emit(f"// The n-point rule occupies entries {prefix}_OFFSET[n - 1] .. {prefix}_OFFSET[n] - 1")
    emit("// of each array below, that is n (n - 1)/2 .. n (n + 1)/2 - 1.")
    emit(f"inline constexpr std::array<std::size_t, {nmax + 1}> {prefix}_OFFSET = {{")
    for k in range(0, nmax + 1, 12):
        emit("    " + ", ".join(str(o) for o in offsets[k:k + 12]) + ",")
    emit("};")
    for column, name, label in ((0, "T", "nodes t_i, ascending"),
                                (1, "ONE_MINUS_T", "complements 1 - t_i, each rounded on its own"),
                                (2, "W", "weights w_i")):
        emit("")
        emit(f"// {what}: {label}.")
        emit(f"inline constexpr std::array<double, {total}> {prefix}_{name} = {{")
        for n in range(1, nmax + 1):
            emit(f"    // n = {n}")
            for value in tables[n][column]:
                emit(f"    {value.hex()},")
        emit("};")


def render():
    legendre = legendre_tables()
    for n, (t, c, w) in legendre.items():
        assert all(0.0 < v < 1.0 for v in t + c) and all(v > 0.0 for v in w)
        assert all(a < b for a, b in zip(t, t[1:]))

    out = []
    emit = out.append
    emit("// Node tables of Gauss rules on [0, 1].")
    emit("//")
    emit("// GENERATED FILE, do not edit.  Written by scripts/gen_gauss_tables.py:")
    emit("//     python scripts/gen_gauss_tables.py numerics/gauss_tables.hpp")
    emit("// and checked by tests/python/test_gauss_tables.py.")
    emit("//")
    emit("// Gauss-Legendre: the n-point rule exact for polynomials of degree <= 2n - 1,")
    emit(f"// n = 1 .. {LEGENDRE_MAX}, evaluated with mpmath at {LEGENDRE_DIGITS} digits.")
    emit("// Every value is the correctly rounded double of the exact one, written as")
    emit("// an exact hex literal; t_i and 1 - t_i are rounded separately.")
    emit("#pragma once")
    emit("")
    emit("#include <array>")
    emit("#include <cstddef>")
    emit("")
    emit("namespace halomag::quadrature::gauss::table {")
    emit("")
    emit_family(emit, "LEGENDRE", legendre, "Gauss-Legendre")
    emit("")
    emit("}  // namespace halomag::quadrature::gauss::table")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: gen_gauss_tables.py [OUTPUT]\n")
        return 2
    text = render()
    if len(argv) == 2 and argv[1] != "-":
        with open(argv[1], "w", encoding="ascii", newline="\n") as fh:
            fh.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
