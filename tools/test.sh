#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in an
# optimised build, once with AddressSanitizer and UndefinedBehaviorSanitizer,
# and once more with ThreadSanitizer (the suites in which threads run, and the
# real program flying under Xvfb). After the optimised build, the engine is
# cross-built for AArch64 and checked under qemu-user to give the same results
# bit for bit (tools/cross-check.sh). The builds are the presets of
# CMakePresets.json; each step's time is printed, and the whole at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
JOBS=$(nproc)
STEPS=()
step() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  STEPS+=("$(printf '%5d s  %s' $((SECONDS - start)) "$name")")
}

step "release build" bash -c "cmake --preset release && cmake --build --preset release -j$JOBS"
step "release tests" ctest --preset release -j"$JOBS"

step "AArch64 cross-check" bash tools/cross-check.sh build

step "ASan/UBSan build" bash -c "cmake --preset asan && cmake --build --preset asan -j$JOBS"
step "ASan/UBSan tests" ctest --preset asan -j"$JOBS"

step "TSan build" bash -c "cmake --preset tsan && cmake --build --preset tsan -j$JOBS"
step "TSan tests" ctest --preset tsan -j"$JOBS" -E "^e2e_"
# The real program under ThreadSanitizer, flying under Xvfb.
step "TSan program" ctest --preset tsan -R "^e2e_thread_sanitizer$"

echo "test command: every step passed"
printf '%s\n' "${STEPS[@]}"
echo "$(printf '%5d s' "$SECONDS")  in all"
