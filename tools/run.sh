#!/usr/bin/env bash
# Installs what is missing, builds Starloom and launches it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)" --target starloom
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "starloom needs a graphical display, and none is set (DISPLAY is empty)." >&2
  echo "Run this from a desktop session, or start a virtual one first, e.g.:" >&2
  echo "  Xvfb :99 -screen 0 1280x1024x24 & DISPLAY=:99 bash tools/run.sh" >&2
  exit 1
fi
exec ./build/starloom
