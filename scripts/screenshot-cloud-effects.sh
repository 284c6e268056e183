#!/usr/bin/env bash
# Screenshots of the effects page's "云音效" tab: a private X server, a virtual card, the cloud
# stand-in (with FAULT, e.g. effects=404, for the failure panel), one effect downloaded before
# velora starts and one used through the running panel, then STEPS (xdotool clicks) and the
# picture. Usage: scripts/screenshot-cloud-effects.sh BUILD_DIR OUT.png [STEPS] [FAULT]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-cloud-effects.png}
steps=${3:-}
fault=${4:-}
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
sim=("$build/tools/cloud-sim/velora-cloud-sim" --port 0)
[ -n "$fault" ] && sim+=(--fault "$fault")
"${sim[@]}" </dev/null >"$dir/cloud-url" &
pids+=($!)
for _ in $(seq 50); do
  [ -s "$dir/cloud-url" ] && break
  sleep 0.1
done
export VELORA_CLOUD_URL=$(head -n 1 "$dir/cloud-url")
export LYNT_VIRTUAL_CARD_DIR="$dir" XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run" \
  XDG_CONFIG_HOME="$dir/config" DISPLAY=":$display"
[ -z "$fault" ] && "$build/tools/lyntctl/lyntctl" cloud effect 明亮 >/dev/null
"$build/app/velora" &
pids+=($!)
sleep 3
[ -z "$fault" ] && "$build/tools/lyntctl/lyntctl" cloud effect 甜美 --use >/dev/null
[ -n "$steps" ] && bash -c "$steps"
import -window root "$out"
echo "saved $out"
