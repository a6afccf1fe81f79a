"""Finite-source point-lens magnifications (Witt & Mao, Heyrovsky).

Units: separations ``l`` and ring radii ``r`` are in stellar radii (0 at the
centre of the star, 1 on its limb); ``re`` (the Einstein radius) and
``rstar`` (the stellar radius) are in any common unit, and only their ratio
enters.  The built-in limb-darkened profile is the linear law with
coefficient 0.6, I(r)/I(0) = 1 - 0.6 (1 - sqrt(1 - r**2)).
"""

from collections.abc import Iterator, Sequence
from typing import Protocol, SupportsFloat, SupportsIndex, TypeAlias, type_check_only

_Float: TypeAlias = SupportsFloat | SupportsIndex

# A one-dimensional array of numbers (numpy.ndarray and anything else that
# exports __array__ and iterates to numbers), described without importing
# numpy.
@type_check_only
class _Array1D(Protocol):
    def __array__(self) -> object: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_Float]: ...

# Sequences of numbers: list, tuple, range, bytes, array.array and
# one-dimensional numpy arrays.  A str is refused at run time.
_Floats: TypeAlias = Sequence[_Float] | _Array1D

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

def witt_mao_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]:
    """Magnification of a uniformly bright disk by a point lens.

    The closed form of Witt & Mao (1994) in complete elliptic integrals
    within three stellar radii, the mean-value series of the point-lens
    magnification (all terms positive) beyond; one value per separation.

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.

    Returns:
        A list with one magnification per element of ``l``, in order.

    Accuracy: within 5e-15 relative everywhere (the limb included), and
    never below 1, out to the largest separations.

    Separations are distances (|l| is used) and only the sizes of re and
    rstar enter; re = 0 gives 1, rstar = 0 NaN (README.md, "Input rules").

    Raises:
        TypeError: an argument of the wrong type (a str for ``l``, a number
            where a sequence is expected, a missing argument).
        RuntimeError: an elliptic integral refused its arguments; no finite
            input is known to cause it.
        KeyboardInterrupt: Ctrl-C during a long call.
    """

def integrated_witt_mao_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]:
    """Magnification of a limb-darkened star, by uniform disks.

    The built-in linear law I(r)/I(0) = 1 - 0.6 (1 - sqrt(1 - r**2)) is
    integrated over nested uniform disks (Witt & Mao 1994) and divided by the
    profile's flux.  For another linear coefficient see README.md.

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.

    Returns:
        A list with one magnification per element of ``l``.

    Accuracy: to rounding (4e-15 relative) from three stellar radii on and
    wherever re/rstar is above (1 + l)/2.24 (the small-source series);
    within 3e-10 relative elsewhere near the star
    (a numerical derivative of the disk magnification).
    ``integrated_heyrovsky_magnification`` is good to 4e-15 everywhere.

    Raises:
        TypeError: an argument of the wrong type.
        RuntimeError: an elliptic integral refused its arguments.
        KeyboardInterrupt: Ctrl-C during a long call.
    """

def integrated_flux_map_witt_mao_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]:
    """Magnification of a star with a tabulated brightness profile, by uniform disks.

    The profile is the surface brightness ``bf[k]`` at radius ``bl[k]``
    (stellar radii, increasing), linear between the radii and zero outside
    [bl[0], bl[-1]] (a one-entry table is constant over the disk); only the
    disk r <= 1 counts.  The result is divided by the profile's flux.

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.
        bl: radii of the table, in stellar radii.
        bf: surface brightness at each radius (any common scale).

    Returns:
        A list with one magnification per element of ``l``.

    Accuracy: within 3e-10 relative near the star, to rounding from three
    stellar radii on; ``integrated_flux_map_heyrovsky_magnification`` is
    good to 3e-15 everywhere.

    Raises:
        TypeError: an argument of the wrong type.
        RuntimeError: an elliptic integral refused its arguments.
        pyo3_runtime.PanicException: ``bl`` and ``bf`` differ in length.  It
            derives from BaseException, so ``except Exception`` does not
            catch it.
    """

def heyrovsky_magnification(l: _Float, r: _Float, re: _Float, rstar: _Float) -> float:
    """Mean point-lens magnification over one ring of the star.

    The ring of radius ``r`` about the stellar centre, the centre at
    separation ``l`` from the lens (Heyrovsky 2003), in complete elliptic
    integrals; symmetric in ``l`` and ``r``.  The mean diverges
    logarithmically when the ring passes through the lens (``l == r``); there
    the function returns the finite value at the smallest gap that doubles
    resolve, eps (l + r).  ``l == r == 0``, a point source on the lens,
    gives +inf.

    Args:
        l: lens-to-centre separation in stellar radii.
        r: ring radius in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.

    Returns:
        The mean magnification, one float.

    Accuracy: within about 1e-15 relative, down to gaps |l - r| of 1e-15.

    Raises:
        TypeError: an argument that is not a real number.
        RuntimeError: an elliptic integral refused its arguments.
    """

def integrated_heyrovsky_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]:
    """Magnification of a limb-darkened star, by Heyrovsky's rings.

    The built-in linear law I(r)/I(0) = 1 - 0.6 (1 - sqrt(1 - r**2)),
    integrated ring by ring and divided by the profile's flux.  Any other
    linear coefficient a follows exactly from this function and
    ``witt_mao_magnification`` (README.md, "Any linear limb-darkening
    coefficient").

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.

    Returns:
        A list with one magnification per element of ``l``; NaN where no
        ring of the star could be evaluated (a NaN separation, rstar = 0).

    Accuracy: within 4e-15 relative everywhere.

    Raises:
        TypeError: an argument of the wrong type.
    """

def integrated_flux_map_heyrovsky_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]:
    """Magnification of a star with a tabulated brightness profile, by rings.

    The profile is the surface brightness ``bf[k]`` at radius ``bl[k]``
    (stellar radii, increasing), linear between the radii and zero outside
    [bl[0], bl[-1]] (a one-entry table is constant over the disk); only the
    disk r <= 1 counts.  The result is divided by the profile's flux, so the
    scale of ``bf`` does not matter.

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.
        bl: radii of the table, in stellar radii.
        bf: surface brightness at each radius.

    Returns:
        A list with one magnification per element of ``l``.

    Accuracy: within 3e-15 relative for the table as given; how well a table of n radii represents a smooth law is a
    separate question (README.md).

    Raises:
        TypeError: an argument of the wrong type.
        pyo3_runtime.PanicException: ``bl`` and ``bf`` differ in length.  It
            derives from BaseException, so ``except Exception`` does not
            catch it.
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]:
    """Weighted sum of ring magnifications, sum_j bf[j] * A_ring(l, bl[j]).

    Each pair (bl[j], bf[j]) is a thin ring of radius bl[j] (stellar radii)
    with weight bf[j]; the sum is not normalised (divide by sum(bf) for a
    mean).  No interpolation and no integration: see
    ``heyrovsky_magnification`` for the ring magnification A_ring.

    Args:
        l: lens-to-centre separations in stellar radii.
        re: Einstein radius, in the unit of ``rstar``.
        rstar: stellar radius.
        bl: ring radii, in stellar radii.
        bf: weight of each ring.

    Returns:
        A list with one weighted sum per element of ``l``.

    Raises:
        TypeError: an argument of the wrong type.
        RuntimeError: an elliptic integral refused its arguments.
        pyo3_runtime.PanicException: ``bl`` and ``bf`` differ in length.  It
            derives from BaseException, so ``except Exception`` does not
            catch it.
    """
