"""A few magnifications of a small limb-darkened star crossing a point lens.

Run:  python examples/quickstart.py
"""

import argparse

import halomag

# No options; --help says what the script does.
argparse.ArgumentParser(description=__doc__.split("\n\n")[0]).parse_args()

RE = 1.0      # Einstein radius (any unit)
RSTAR = 0.01  # stellar radius in the same unit: rho = 0.01

# Lens-star separations in stellar radii: inside the disk, on the limb, outside.
separations = [0.0, 0.5, 1.0, 2.0, 10.0, 100.0]

uniform = halomag.witt_mao_magnification(separations, RE, RSTAR)
limb_darkened = halomag.integrated_heyrovsky_magnification(separations, RE, RSTAR)

print(f"{'l / rstar':>10} {'uniform disk':>16} {'limb-darkened':>16} {'point source':>16}")
for l, a_uniform, a_ld in zip(separations, uniform, limb_darkened):
    u = l * RSTAR / RE
    point = (u * u + 2) / (u * (u * u + 4) ** 0.5) if u > 0 else float("inf")
    print(f"{l:10.3f} {a_uniform:16.10f} {a_ld:16.10f} {point:16.10f}")
