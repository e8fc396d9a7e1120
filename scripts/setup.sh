#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Non-interactive and idempotent: when everything is present it returns at once.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libyuv-dev
  libjsoncpp-dev libpulse-dev libx11-dev libxext-dev libxfixes-dev libxdamage-dev libxtst-dev
  libxcb-shm0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev
  libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb x11-utils x11-xserver-utils xdotool trayer
  pulseaudio pulseaudio-utils ffmpeg sox imagemagick librsvg2-bin
  fonts-wqy-microhei python3 time procps
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
