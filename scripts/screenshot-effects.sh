#!/usr/bin/env bash
# Screenshots of the effects page's "KX音效" tab in use: a private X server, a virtual card, and
# velora with the lists installed beside it, clicked through with xdotool: an effect used (marked
# current), another hovered, and an effect's menu.
# Usage: scripts/screenshot-effects.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-effects-shots}
mkdir -p "$out"
command -v import >/dev/null || { echo "installing imagemagick for 'import'"; apt-get install -y -q imagemagick >/dev/null; }
dir=$(mktemp -d)
mkdir -p "$dir/data" "$dir/run" "$dir/config"
chmod 700 "$dir/run"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
exec 3< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x900x24 2>/dev/null)
read -r display <&3
pids+=($!)
export DISPLAY=":$display"
socket="$dir/#VID_2B53&PID_0041#0"
"$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" --levels-hz 20 </dev/null &
pids+=($!)
sleep 1
LYNT_VIRTUAL_CARD_DIR="$dir" XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run" \
  XDG_CONFIG_HOME="$dir/config" "$build/app/velora" &
pids+=($!)
sleep 5  # started and connected to the card
# The main window is centred on the 1280 x 900 screen: its top-left corner is at (210, 113). The
# tab's tree starts at (612, 130) in the window; its rows are 26 pixels high, the first is the list.
row() { echo $((113 + 130 + 13 + 26 * $1)); }
at() { xdotool mousemove $((210 + 700)) "$(row "$1")"; }
shot() { import -window root "$out/$1.png"; echo "saved $out/$1.png"; }
at 3 && xdotool click --repeat 2 --delay 80 1 && sleep 0.8   # use the third effect
at 5 && sleep 0.4 && shot kx-current                          # another one under the mouse
at 6 && xdotool click 3 && sleep 0.6 && shot kx-menu          # its menu
# The menu opens at the cursor; its third entry holds the "我的音效" buttons.
xdotool mousemove $((210 + 770)) $(($(row 6) + 83)) && sleep 0.8 && shot kx-menu-my-effects
xdotool key Escape key Escape
