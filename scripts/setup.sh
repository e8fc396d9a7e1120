#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Non-interactive and idempotent: when everything is present it returns at once.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools
  qt6-l10n-tools qt6-translations-l10n
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libyuv-dev libx264-dev
  libjsoncpp-dev libpulse-dev libx11-dev libxext-dev libxfixes-dev libxdamage-dev libxtst-dev libxrandr-dev
  libxcb-shm0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev
  libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb x11-utils x11-xserver-utils xdotool trayer dbus dunst
  pulseaudio pulseaudio-utils ffmpeg sox imagemagick librsvg2-bin
  fonts-wqy-microhei python3 time procps
  sway swaybg grim pipewire pipewire-bin wireplumber dbus dbus-user-session
  xdg-desktop-portal xdg-desktop-portal-wlr libpipewire-0.3-dev libwayland-dev qt6-wayland
)

# The Wayland tests run their desktop as this user: the compositor refuses to run as root.
if [ "$(id -u)" -eq 0 ] && ! id -u murovent-test >/dev/null 2>&1; then
  useradd --system --user-group --no-create-home --shell /usr/sbin/nologin murovent-test
fi

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
