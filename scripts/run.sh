#!/usr/bin/env bash
# Runs the control panel. With a real card plugged in it uses that card; otherwise it starts a
# virtual card in a temporary folder. The cloud stand-in is started when it has been built.
# Without a display it shows what lyntctl reads from the card instead.
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

real_card=$(LYNT_VIRTUAL_CARD_DIR= "$build/tools/lyntctl/lyntctl" devices 2>/dev/null | grep -c ' 0041$' || true)
if [ "$real_card" -eq 0 ]; then
  socket="$dir/#VID_2B53&PID_0041#0"
  "$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" --levels-hz 20 </dev/null &
  pids+=($!)
  for _ in $(seq 50); do
    [ -S "$socket" ] && break
    sleep 0.1
  done
  export LYNT_VIRTUAL_CARD_DIR=$dir
  echo "no card plugged in: using a virtual card ($socket)"
fi

if [ -x "$build/tools/cloud-sim/velora-cloud-sim" ]; then
  # Any free port: the stand-in prints its base address, which the panel and lyntctl then use.
  "$build/tools/cloud-sim/velora-cloud-sim" --port 0 </dev/null >"$dir/cloud-url" &
  pids+=($!)
  for _ in $(seq 50); do
    [ -s "$dir/cloud-url" ] && break
    sleep 0.1
  done
  if [ -s "$dir/cloud-url" ]; then
    VELORA_CLOUD_URL=$(head -n 1 "$dir/cloud-url")
    export VELORA_CLOUD_URL
    echo "cloud service stand-in at $VELORA_CLOUD_URL"
  fi
fi

if [ -x "$build/app/velora" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/app/velora"
else
  # The virtual card's session must not touch the user's own settings.
  [ "$real_card" -eq 0 ] && export XDG_DATA_HOME=$dir/data
  echo "\$ lyntctl devices"
  "$build/tools/lyntctl/lyntctl" devices
  echo "\$ lyntctl info"
  "$build/tools/lyntctl/lyntctl" info
  echo "\$ lyntctl get"
  "$build/tools/lyntctl/lyntctl" get
  if [ -n "${VELORA_CLOUD_URL:-}" ]; then
    echo "\$ lyntctl cloud sounds"
    "$build/tools/lyntctl/lyntctl" cloud sounds || true
    echo "\$ lyntctl firmware check"
    "$build/tools/lyntctl/lyntctl" firmware check || true
  fi
fi
