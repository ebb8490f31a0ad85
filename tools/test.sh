#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in an optimised build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, and once more with
# ThreadSanitizer (the unit tests, and the real program flying under Xvfb).
# After the optimised build, the engine is cross-built for AArch64 and checked
# under qemu-user to give the same results bit for bit (tools/cross-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
JOBS=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

bash tools/cross-check.sh build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSTARLOOM_SANITIZE=ON -DSTARLOOM_BENCH=OFF
cmake --build build-asan -j"$JOBS"
ctest --test-dir build-asan --output-on-failure -j"$JOBS"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTARLOOM_TSAN=ON -DSTARLOOM_BENCH=OFF \
  -DSTARLOOM_TSAN_HANDOFF=OFF
cmake --build build-tsan -j"$JOBS" --target starloom_tests starloom
TSAN_OPTIONS="halt_on_error=1:exitcode=66:detect_deadlocks=0" \
  ctest --test-dir build-tsan --output-on-failure -j"$JOBS" -E "^e2e_"
# The real program under ThreadSanitizer, flying under Xvfb.
ctest --test-dir build-tsan --output-on-failure -R "^e2e_thread_sanitizer$"
