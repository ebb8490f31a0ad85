#!/usr/bin/env bash
# Installs the Debian packages Starloom needs to build, run and test, when any
# of them is missing. Safe to run again: with everything present it does nothing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev
  libxxhash-dev
  libvulkan-dev mesa-vulkan-drivers glslc libglfw3-dev libimgui-dev libglm-dev
  libfreetype-dev fonts-roboto-unhinted libpng-dev
  xvfb xdotool x11-apps imagemagick vulkan-validationlayers vulkan-tools python3
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
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
