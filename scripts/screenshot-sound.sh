#!/usr/bin/env bash
# Screenshots of the sound-pad page and the recording panel in use: a private X server, a private
# PulseAudio whose null sink plays the card ("Orin LYNT!"), a virtual card, and velora clicked
# through with xdotool. Usage: scripts/screenshot-sound.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-sound-shots}
mkdir -p "$out"
command -v import >/dev/null || { echo "installing imagemagick for 'import'"; apt-get install -y -q imagemagick >/dev/null; }
dir=$(mktemp -d)
mkdir -p "$dir/data" "$dir/run" "$dir/config" "$dir/pulse"
chmod 700 "$dir/run" "$dir/pulse"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
export PULSE_RUNTIME_PATH="$dir/pulse" PULSE_SERVER="unix:$dir/pulse/native"
root=(); [ "$(id -u)" -eq 0 ] && root=(--system=no)
HOME="$dir/pulse" pulseaudio "${root[@]}" -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
  --disable-shm=yes --use-pid-file=no --log-level=error \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" \
  -L "module-null-sink sink_name=lynt rate=44100 sink_properties='device.description=\"Orin LYNT!\"'" \
  -L "module-remap-source master=lynt.monitor source_name=lynt_in source_properties='device.description=\"Orin LYNT! Input\"'" &
pids+=($!)
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
sleep 3
# The main window is centred on the 1280 x 900 screen: its top-left corner is at (210, 113).
click() { xdotool mousemove $((210 + $1)) $((113 + $2)) click 1; sleep "${3:-0.6}"; }
shot() { import -window root "$out/$1.png"; echo "saved $out/$1.png"; }
shot favourites
click 46 479 && shot local          # tab 本地
click 157 479 && shot downloads     # tab 已下载
click 98 479                        # back to 收藏夹
click 76 518 1.2 && shot playing    # pad 大哄笑 plays
click 663 559 2.5 && shot recording # record for a moment
click 663 559 1 && shot recorded    # stop
click 557 641 0.8 && shot volume    # the volume popup
