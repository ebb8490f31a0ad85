#!/usr/bin/env bash
# The same stars on another processor. Cross-builds the engine, starloom-cli and
# the engine's unit tests for AArch64 (cmake/aarch64-linux-gnu.cmake), runs the
# tests under qemu-user, makes sure no fused multiply-add reached the engine's
# code, and compares the output of a fixed set of starloom-cli commands with
# that of the native build, byte for byte (tools/cross_check.py).
#
# usage: tools/cross-check.sh [NATIVE_BUILD_DIR]   (default: build, which must
#        already hold a built starloom-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
NATIVE=${1:-build}
JOBS=$(nproc)
start=$(date +%s)

if [ ! -x "$NATIVE/starloom-cli" ]; then
  echo "cross check: no native starloom-cli in $NATIVE; build it first" >&2
  exit 1
fi

cmake --preset aarch64
cmake --build --preset aarch64 -j"$JOBS"
ctest --preset aarch64 -j"$JOBS"

# A fused multiply-add rounds once where the x86-64 code rounds twice: the
# engine is compiled with -ffp-contract=off, and none may appear.
fused=$(aarch64-linux-gnu-objdump -d build-aarch64/numeric/libstarloom_numeric.a build-aarch64/galaxy/libstarloom_galaxy.a \
    build-aarch64/starfield/libstarloom_starfield.a build-aarch64/starloom-cli |
  grep -cE '\s(fn?madd|fn?msub|fmla|fmls)\s' || true)
if [ "$fused" != 0 ]; then
  echo "cross check: $fused fused multiply-add instructions in the AArch64 engine" >&2
  exit 1
fi

python3 tools/cross_check.py "$NATIVE/starloom-cli" "qemu-aarch64 build-aarch64/starloom-cli"
echo "cross check: AArch64 build, unit tests and comparison took $(($(date +%s) - start)) s"
