#!/usr/bin/env bash
# Builds and runs every test: the C++ unit tests (CTest) and the Python tests
# (pytest) against a freshly built and installed extension.
#
#   bash scripts/test.sh                      # the Python selected by .python-version
#   PYTHON=/path/to/python3.13 bash scripts/test.sh
#   HALOMAG_WERROR=ON bash scripts/test.sh    # warnings are errors (CI)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

python=${PYTHON:-}
if [ -z "$python" ]; then
  if command -v pyenv >/dev/null 2>&1 && pyenv which python >/dev/null 2>&1; then
    python=$(pyenv which python)
  else
    python=$(command -v python3.12 || command -v python3)
  fi
fi
werror=${HALOMAG_WERROR:-OFF}
pyver=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
echo "== halomag tests with Python $pyver ($python), warnings as errors: $werror"

# GoogleTest comes from Debian's libgtest-dev; Debian's own Python needs
# python3-venv for virtual environments and python3-dev for its headers.
packages=()
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev cmake g++)
if [[ "$python" == /usr/bin/* ]] && ! "$python" -c 'import ensurepip, os, sysconfig
assert os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h"))' 2>/dev/null; then
  packages+=(python3-venv python3-dev)
fi
if [ ${#packages[@]} -gt 0 ]; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "== apt-get install ${packages[*]}"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq "${packages[@]}" >/dev/null
fi

# C++ unit tests of the pure numeric core.
cmake -S . -B build/cpp -DHALOMAG_PYTHON=OFF -DHALOMAG_TESTS=ON -DHALOMAG_WERROR="$werror" >/dev/null
cmake --build build/cpp -j2
(cd build/cpp && ctest --output-on-failure)

# The extension, built and installed into a virtual environment of its own.
venv=build/venv-$pyver
[ -x "$venv/bin/python" ] || "$python" -m venv "$venv"
"$venv/bin/python" -m pip install -q --disable-pip-version-check -r tests/requirements.txt
"$venv/bin/python" -m pip install -q --disable-pip-version-check \
  -Ccmake.define.HALOMAG_WERROR="$werror" .
# Run from tests/ so that nothing in the source tree shadows the installed module.
(cd tests && "$root/$venv/bin/python" -m pytest -q python)
