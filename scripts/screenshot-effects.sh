#!/usr/bin/env bash
# Screenshots of the effects page's "KX音效" tab in use: a private X server, a virtual card, and
# velora with the lists installed beside it, clicked through with xdotool: an effect used (marked
# current), another hovered, and an effect's menu.
# Usage: scripts/screenshot-effects.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-effects-shots}
mkdir -p "$out"
# shellcheck source=scripts/desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"
start_card 1
start_velora 5  # started and connected to the card
# The main window is centred on the 1280 x 900 screen: its top-left corner is at (210, 113). The
# tab's tree starts at (612, 130) in the window; its rows are 26 pixels high, the first is the list.
row() { echo $((113 + 130 + 13 + 26 * $1)); }
at() { xdotool mousemove $((210 + 700)) "$(row "$1")"; }
shot() { shot_to "$out/$1.png"; }
at 3 && xdotool click --repeat 2 --delay 80 1 && sleep 0.8   # use the third effect
at 5 && sleep 0.4 && shot kx-current                          # another one under the mouse
at 6 && xdotool click 3 && sleep 0.6 && shot kx-menu          # its menu
# The menu opens at the cursor; its third entry holds the "我的音效" buttons.
xdotool mousemove $((210 + 770)) $(($(row 6) + 83)) && sleep 0.8 && shot kx-menu-my-effects
xdotool key Escape key Escape
