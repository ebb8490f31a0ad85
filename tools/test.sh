#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in an
# optimised build, once with AddressSanitizer and UndefinedBehaviorSanitizer,
# and once more with ThreadSanitizer (the suites in which threads run, and the
# real program flying under Xvfb). After the optimised build, the engine is
# cross-built for AArch64 and checked under qemu-user to give the same results
# bit for bit (tools/cross-check.sh). The builds are the presets of
# CMakePresets.json; each step's time is printed, and the whole at the end.
#
# tools/test.sh --busy runs only the end-to-end tests of the optimised build,
# while two busy loops load two cores as other work on a shared machine
# would, and prints the time they took.
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

if [ "${1:-}" = "--busy" ]; then
  cmake --preset release
  cmake --build --preset release -j"$JOBS"
  busy=()
  stop_busy() { kill "${busy[@]}" 2>/dev/null || true; wait "${busy[@]}" 2>/dev/null || true; }
  trap stop_busy EXIT
  trap 'exit 130' INT TERM
  for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
  done
  start=$(date +%s)
  status=0
  ctest --preset release -j"$JOBS" -R '^e2e_' --output-on-failure || status=$?
  echo "end-to-end tests beside two busy loops: $(($(date +%s) - start)) s"
  exit "$status"
fi

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
