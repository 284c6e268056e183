#!/usr/bin/env bash
# Starts a virtual card in a temporary folder and shows what lyntctl reads from it.
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
trap 'kill "$card" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
"$build/tools/virtual-card/lynt-virtual-card" --socket "$dir/#VID_2B53&PID_0041#0" </dev/null &
card=$!
for _ in $(seq 50); do
  [ -S "$dir/#VID_2B53&PID_0041#0" ] && break
  sleep 0.1
done
export LYNT_VIRTUAL_CARD_DIR=$dir
# The virtual card's session must not touch the user's own settings.
export XDG_DATA_HOME=$dir/data
echo "\$ lyntctl devices"
"$build/tools/lyntctl/lyntctl" devices
echo "\$ lyntctl info"
"$build/tools/lyntctl/lyntctl" info
echo "\$ lyntctl get"
"$build/tools/lyntctl/lyntctl" get
