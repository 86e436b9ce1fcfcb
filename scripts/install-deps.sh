#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Works as root on a fresh machine (CI); as another user it goes through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  sox
  libsdl2-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  qt6-base-dev qt6-svg-dev xvfb xauth fonts-liberation xdotool
  dpkg-dev
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
