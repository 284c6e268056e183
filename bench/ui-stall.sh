#!/usr/bin/env bash
# How long velora's window takes to appear and how long its UI thread stalls, against a virtual
# card that never answers, against one whose knob is turned all the time, and while a card is
# plugged whose node opens slowly (as a real one does while udev sets its access).
# Usage: bench/ui-stall.sh [BUILD_DIR]   (prints one line per case)
set -euo pipefail
build=${1:-build}
# shellcheck source=bench/xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"

run_case() {  # name, card options...
    local name=$1
    shift
    local home="$dir/$name"
    mkdir -p "$home/data" "$home/run" "$home/config" "$home/cards"
    chmod 700 "$home/run"
    local socket="$home/cards/#VID_2B53&PID_0041#0"
    mkfifo "$home/card-in"
    if [ "$name" = plug ]; then
        # Plugged once the window is up: the card appears in a folder of its own first and is
        # moved into the watched one (a rename, as a node appears whole).
        mkdir -p "$home/later"
        "$build/tools/virtual-card/lynt-virtual-card" --socket "$home/later/#VID_2B53&PID_0041#0" \
          "$@" <"$home/card-in" >/dev/null 2>&1 &
    else
        "$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" "$@" <"$home/card-in" >/dev/null 2>&1 &
    fi
    local card=$!
    exec 4>"$home/card-in"
    if [ "$name" != plug ]; then
        for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.02; done
    fi
    DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$home/cards" XDG_DATA_HOME="$home/data" \
      XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config" VELORA_UI_STALL_PROBE=1 \
      "$build/app/velora" >/dev/null 2>&1 &
    local velora=$!
    local started plugged=
    started=$(date +%s%3N)
    local log="$home/data/Velora/log"
    for _ in $(seq 300); do grep -qs "main window shown" "$log"/*.log && break; sleep 0.05; done
    if [ "$name" = knob ]; then
        # A knob turned on the card for five seconds: a report every 2 ms.
        for i in $(seq 2500); do echo "knob 30 $((i % 100))" >&4; sleep 0.002; done
    elif [ "$name" = plug ]; then
        sleep 1
        for _ in $(seq 100); do [ -S "$home/later/#VID_2B53&PID_0041#0" ] && break; sleep 0.02; done
        mv "$home/later/#VID_2B53&PID_0041#0" "$socket"
        plugged=$(($(date +%s%3N) - started))
        for _ in $(seq 100); do grep -qs "card connected" "$log"/*.log && break; sleep 0.05; done
        sleep 1
        if grep -qs "card connected" "$log"/*.log; then echo "  the plugged card connected"; else echo "  the plugged card did not connect"; fi
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
    if [ -n "$plugged" ]; then
        # Stall times count from the probe's start, a little after the process's: a stall that
        # ends after the plug by this clock surely does by the process's.
        local after
        after=$(grep -ho "UI stall of [0-9]* ms at [0-9]* ms" "$log"/*.log |
          awk -v p="$plugged" '$7 > p && $4 > m { m = $4 } END { print m + 0 }')
        [ "$after" = 0 ] && after="none over 30" # shorter stalls are not logged
        echo "$name: card plugged at ${plugged} ms, longest UI stall after it: ${after} ms"
    fi
}

run_case silent --drop-replies 100
run_case knob --levels-hz 20
run_case plug --open-delay 900
