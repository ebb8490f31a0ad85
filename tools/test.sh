#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in an
# optimised build, once with AddressSanitizer and UndefinedBehaviorSanitizer,
# and once more with ThreadSanitizer (the suites in which threads run, and the
# real program flying under Xvfb). After the optimised build, the engine is
# cross-built for AArch64 and checked under qemu-user to give the same results
# bit for bit (tools/cross-check.sh). The builds are the presets of
# CMakePresets.json; each step's time is printed, and the whole at the end.
#
# The optimised build's tests run at normal priority. Beside them, at the
# lowest priority, run the cross-check and the sanitizer builds with their
# unit tests: they take the cores whenever the end-to-end tests leave them
# idle, waiting for the program to show what they look for, and give them
# back as soon as the tests want them. Their output follows once they end.
#
# tools/test.sh --busy runs only the end-to-end tests of the optimised build,
# while two busy loops load two cores as other work on a shared machine
# would, and prints the time they took.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)
# Each step's time, a line each (the steps beside the tests write theirs here too).
if [ "${1:-}" = "--beside" ]; then TIMES=$2; else TIMES=$(mktemp); fi
step() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  printf '%5d s  %s\n' $((SECONDS - start)) "$name" >> "$TIMES"
}

if [ "${1:-}" = "--beside" ]; then
  # The steps that run beside the optimised build's tests.
  step "AArch64 cross-check" bash tools/cross-check.sh build
  step "ASan/UBSan build" bash -c "cmake --preset asan && cmake --build --preset asan -j$JOBS"
  step "ASan/UBSan tests" ctest --preset asan -j"$JOBS"
  step "TSan build" bash -c "cmake --preset tsan && cmake --build --preset tsan -j$JOBS"
  step "TSan tests" ctest --preset tsan -j"$JOBS" -E "^e2e_"
  exit 0
fi

bash tools/install-deps.sh

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

# The steps beside the tests, in a process group of their own (so that a
# failure here stops them too), their output kept until they end.
BESIDE_LOG=$(mktemp)
setsid nice -n 19 bash tools/test.sh --beside "$TIMES" > "$BESIDE_LOG" 2>&1 &
beside=$!
stop_beside() { kill -- -"$beside" 2>/dev/null || true; }
trap stop_beside EXIT
trap 'exit 130' INT TERM

status=0
step "release tests" ctest --preset release -j"$JOBS" || status=$?
if [ "$status" != 0 ]; then
  echo "test command: the optimised build's tests failed; the steps beside them are stopped" >&2
  exit "$status"
fi
beside_status=0
wait "$beside" || beside_status=$?
trap - EXIT
echo "---- cross-check and sanitizer builds (run beside the tests above)"
cat "$BESIDE_LOG"
rm -f "$BESIDE_LOG"
if [ "$beside_status" != 0 ]; then
  echo "test command: a step beside the optimised build's tests failed" >&2
  exit "$beside_status"
fi

# The real program under ThreadSanitizer, flying under Xvfb.
step "TSan program" ctest --preset tsan -R "^e2e_thread_sanitizer$"

echo "test command: every step passed"
cat "$TIMES"
rm -f "$TIMES"
echo "$(printf '%5d s' "$SECONDS")  in all (the steps beside the tests overlap them)"
