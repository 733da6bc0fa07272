#!/usr/bin/env bash
# Installs the Debian packages Orvane builds, tests and runs with, but only those that are missing.
# Safe to run again and again: quiet when nothing is missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  libhdf5-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick fonts-noto-cjk xdotool
  clang libclang-rt-14-dev
  python3-dev python3-numpy python3-pybind11 python3-pytest python3-h5py
  libcli11-dev python3-distributed python3-pandas python3-tqdm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install packages" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
