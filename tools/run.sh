#!/usr/bin/env bash
# Installs what is missing, builds Starloom and launches it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target starloom-cli
exec ./build/starloom-cli constants
