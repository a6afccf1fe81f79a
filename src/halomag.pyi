"""Finite-source point-lens magnifications (Witt & Mao, Heyrovsky)."""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, TypeAlias

_Float: TypeAlias = SupportsFloat | SupportsIndex
_Floats: TypeAlias = Sequence[_Float]

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

def witt_mao_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]: ...
def integrated_witt_mao_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]: ...
def integrated_flux_map_witt_mao_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]: ...
def heyrovsky_magnification(l: _Float, r: _Float, re: _Float, rstar: _Float) -> float: ...
def integrated_heyrovsky_magnification(l: _Floats, re: _Float, rstar: _Float) -> list[float]: ...
def integrated_flux_map_heyrovsky_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]: ...
def discrete_flux_map_heyrovsky_magnification(
    l: _Floats, re: _Float, rstar: _Float, bl: _Floats, bf: _Floats
) -> list[float]: ...
