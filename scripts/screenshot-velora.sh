#!/usr/bin/env bash
# Takes a screenshot of velora's main window: a private X server, a virtual card sending level
# frames, the cloud stand-in when it is built, and velora against them.
# Usage: scripts/screenshot-velora.sh [BUILD_DIR] [OUT.png] [STEPS]
# STEPS, when given, is run with DISPLAY set before the picture is taken (xdotool clicks, say).
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-main.png}
steps=${3:-}
command -v import >/dev/null || { echo "installing imagemagick for 'import'"; apt-get install -y -q imagemagick >/dev/null; }
dir=$(mktemp -d)
mkdir -p "$dir/data" "$dir/run" "$dir/config"
chmod 700 "$dir/run"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
exec 3< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x900x24 2>/dev/null)
read -r display <&3
pids+=($!)
socket="$dir/#VID_2B53&PID_0041#0"
"$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" --levels-hz 20 </dev/null &
pids+=($!)
sleep 0.5
if [ -x "$build/tools/cloud-sim/velora-cloud-sim" ]; then
  "$build/tools/cloud-sim/velora-cloud-sim" --port 0 </dev/null >"$dir/cloud-url" &
  pids+=($!)
  for _ in $(seq 50); do
    [ -s "$dir/cloud-url" ] && break
    sleep 0.1
  done
  [ -s "$dir/cloud-url" ] && export VELORA_CLOUD_URL=$(head -n 1 "$dir/cloud-url")
fi
DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$dir" XDG_DATA_HOME="$dir/data" \
  XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" "$build/app/velora" &
pids+=($!)
sleep 3
[ -n "$steps" ] && DISPLAY=":$display" bash -c "$steps"
DISPLAY=":$display" import -window root "$out"
echo "saved $out"
