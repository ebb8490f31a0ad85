#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in an optimised build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, and once more with
# ThreadSanitizer (the unit tests, and the real program flying under Xvfb).
# After the optimised build, the engine is cross-built for AArch64 and checked
# under qemu-user to give the same results bit for bit (tools/cross-check.sh).
# The builds are the presets of CMakePresets.json.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
JOBS=$(nproc)

cmake --preset release
cmake --build --preset release -j"$JOBS"
ctest --preset release -j"$JOBS"

bash tools/cross-check.sh build

cmake --preset asan
cmake --build --preset asan -j"$JOBS"
ctest --preset asan -j"$JOBS"

cmake --preset tsan
cmake --build --preset tsan -j"$JOBS"
ctest --preset tsan -j"$JOBS" -E "^e2e_"
# The real program under ThreadSanitizer, flying under Xvfb.
ctest --preset tsan -R "^e2e_thread_sanitizer$"
