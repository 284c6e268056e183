#!/usr/bin/env bash
# How long velora's window takes to appear and how long its UI thread stalls, against a virtual
# card that never answers and against one whose knob is turned all the time.
# Usage: bench/ui-stall.sh [BUILD_DIR]   (prints one line per case)
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
exec 3< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x900x24 2>/dev/null)
read -r display <&3
pids+=($!)

run_case() {  # name, card options...
    local name=$1
    shift
    local home="$dir/$name"
    mkdir -p "$home/data" "$home/run" "$home/config" "$home/cards"
    chmod 700 "$home/run"
    local socket="$home/cards/#VID_2B53&PID_0041#0"
    mkfifo "$home/card-in"
    "$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" "$@" <"$home/card-in" >/dev/null 2>&1 &
    local card=$!
    exec 4>"$home/card-in"
    for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.02; done
    DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$home/cards" XDG_DATA_HOME="$home/data" \
      XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config" VELORA_UI_STALL_PROBE=1 \
      "$build/app/velora" >/dev/null 2>&1 &
    local velora=$!
    local log="$home/data/Velora/log"
    for _ in $(seq 300); do grep -qs "main window shown" "$log"/*.log && break; sleep 0.05; done
    if [ "$name" = knob ]; then
        # A knob turned on the card for five seconds: a report every 2 ms.
        for i in $(seq 2500); do echo "knob 30 $((i % 100))" >&4; sleep 0.002; done
    else
        sleep 5
    fi
    kill -TERM "$velora"
    wait "$velora" || true
    echo quit >&4
    exec 4>&-
    wait "$card" 2>/dev/null || true
    local shown stall
    shown=$(grep -ho "main window shown [0-9]* ms after start" "$log"/*.log | grep -o "[0-9]*" | head -1)
    stall=$(grep -ho "longest UI stall [0-9]* ms" "$log"/*.log | grep -o "[0-9]*" | head -1)
    { grep -ho "UI stall of [0-9]* ms at [0-9]* ms" "$log"/*.log || true; } | sed "s/^/  /" | head -8
    echo "$name: window shown ${shown:-?} ms after start, longest UI stall ${stall:-?} ms"
}

run_case silent --drop-replies 100
run_case knob --levels-hz 20
