#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the headless host need,
# when any is missing. Safe to run again; needs root (or sudo) only when installing.
#   scripts/install-deps.sh           the Linux build
#   scripts/install-deps.sh windows   and the Windows cross-build with its tests under Wine
#   scripts/install-deps.sh package   and the Debian package: building, checking, the
#                                     tools its install test runs the effect in
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglew-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libgl-dev libopengl-dev
  libgtest-dev libbenchmark-dev libssl-dev libcli11-dev libpng-dev libjpeg-dev
  zlib1g-dev ffmpeg binutils clang libclang-rt-14-dev clang-format glslang-tools
  frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-base strace
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  libglfw3-dev libimgui-dev liblo-dev liblo-tools xdotool imagemagick xvfb xauth
  nlohmann-json3-dev
  obs-studio libobs-dev python3-websocket
  kdenlive shotcut dbus-daemon bc
)
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth googletest)
fi
if [ "${1:-}" = package ]; then
  packages+=(dpkg-dev file lintian melt gstreamer1.0-tools gstreamer1.0-plugins-bad)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
