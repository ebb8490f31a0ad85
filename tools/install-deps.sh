#!/usr/bin/env bash
# Installs the Debian packages Starloom needs to build, run and test, when any
# of them is missing. Safe to run again: with everything present it does nothing.
#
# Besides the native packages this brings the AArch64 cross toolchain, qemu-user
# and the arm64 packages of the engine's dependencies (through Debian multiarch),
# with which the test command checks that an AArch64 build of the engine gives
# the same stars bit for bit.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev
  libxxhash-dev
  libvulkan-dev mesa-vulkan-drivers glslc libglfw3-dev libimgui-dev libglm-dev
  libfreetype-dev fonts-roboto-unhinted libpng-dev
  xvfb xdotool x11-apps imagemagick vulkan-validationlayers vulkan-tools python3 tesseract-ocr xclip
  librsvg2-bin desktop-file-utils appstream man-db
  dpkg-dev file lintian
  clang-14 libfuzzer-14-dev
  g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user
  libxxhash-dev:arm64 libgtest-dev:arm64 libmpfr-dev:arm64 libgmp-dev:arm64
  libfreetype-dev:arm64 libpng-dev:arm64
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO="sudo"; else
    echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
  fi
fi
# The arm64 packages need the architecture known to dpkg (and then fresh lists).
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $SUDO dpkg --add-architecture arm64
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# --no-remove: a multiarch package whose version does not match its native twin
# must fail the install, not take the native one away.
$SUDO apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}"
