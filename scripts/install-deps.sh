#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Velora need.
# Safe to run again: it only calls apt-get when something is missing.
# Usage: scripts/install-deps.sh [deb]   (deb: also what `make deb` checks the package with)
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache git
  ninja-build lld  # a no-change rebuild in a second, links in a third of the time
  # core libraries
  libudev-dev libcurl4-openssl-dev libjsoncpp-dev libpugixml-dev
  zlib1g-dev libminizip-dev libmad0-dev libmpg123-dev libmp3lame-dev libsoxr-dev
  libsystemd-dev  # sd-bus: logind's inhibitor lock while firmware is written
  libpulse-dev  # the doctor asks the sound server about the card; the pads' warm stream
  # UI
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-tools-dev
  libxcb1-dev x11proto-dev libgl-dev fonts-noto-cjk  # x11proto-dev: key symbols for global hotkeys
  qt6-translations-l10n  # Qt's own texts (edit menus, file dialogs) in Chinese
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  xvfb xauth xdotool dbus-daemon desktop-file-utils python3
  # audio tests run against a private PulseAudio with a null sink; benches compare with mpg123 and sox
  pulseaudio pulseaudio-utils mpg123 sox libsox-fmt-mp3
  # the pad-latency bench on PipeWire too (its own pulse server from a private configuration;
  # not pipewire-pulse, which removes pulseaudio)
  pipewire wireplumber
  # make fuzz: clang with libFuzzer and the sanitizers' runtime
  clang libclang-rt-14-dev
  # the manual's PDF is checked with pdftotext and pdfimages; man pages are checked with man
  poppler-utils man-db file
  fonts-wqy-zenhei  # the manual's Chinese font: its text reads back out of the PDF as written
  # make soak: the stacks of a hung velora
  gdb
)
if [ "${1:-}" = "deb" ]; then
  packages+=(dpkg-dev fakeroot lintian appstream)
fi

# One query for all (a query per package costs seconds on a busy machine); a package it does
# not know is missing too.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '/ install ok installed$/ { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  if [[ $'\n'$installed$'\n' != *$'\n'$p$'\n'* ]]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
