#!/usr/bin/env bash
# Screenshots of the sound-pad page and the recording panel in use: a private X server, a private
# PulseAudio whose null sink plays the card ("Orin LYNT!"), a virtual card, and velora clicked
# through with xdotool. Usage: scripts/screenshot-sound.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-sound-shots}
mkdir -p "$out"
# shellcheck source=scripts/desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"
start_pulse
start_card 1
start_velora
# The main window is centred on the 1280 x 900 screen: its top-left corner is at (210, 113).
click() { xdotool mousemove $((210 + $1)) $((113 + $2)) click 1; sleep "${3:-0.6}"; }
shot() { shot_to "$out/$1.png"; }
shot favourites
click 46 479 && shot local          # tab 本地
click 157 479 && shot downloads     # tab 已下载
click 98 479                        # back to 收藏夹
click 76 518 1.2 && shot playing    # pad 大哄笑 plays
click 663 559 2.5 && shot recording # record for a moment
click 663 559 1 && shot recorded    # stop
click 557 641 0.8 && shot volume    # the volume popup
