#!/usr/bin/env bash
# velora's CPU while idle on the effects page, with the virtual card sending level reports at 20 Hz:
# the share of one core the process used over 30 s (/proc/PID/task/*/schedstat), after it settled,
# and how often its threads woke.
# Usage: bench/idle-cpu.sh [BUILD_DIR] [SECONDS] [LEVELS_HZ]   (prints one line; 0 Hz: no levels)
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
hz_levels=${3:-20}
# shellcheck source=bench/xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"
mkdir -p "$dir/data" "$dir/run" "$dir/config" "$dir/cards"
chmod 700 "$dir/run"
socket="$dir/cards/#VID_2B53&PID_0041#0"
mkfifo "$dir/card-in"
"$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" --levels-hz "$hz_levels" <"$dir/card-in" >/dev/null 2>&1 &
pids+=($!)
exec 4>"$dir/card-in"
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.02; done
DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$dir/cards" XDG_DATA_HOME="$dir/data" \
  XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" "$build/app/velora" >/dev/null 2>&1 &
velora=$!
pids+=($velora)
log="$dir/data/Velora/log"
for _ in $(seq 300); do grep -qs "card connected" "$log"/*.log && break; sleep 0.1; done
sleep 5
# CPU time of every thread in nanoseconds (schedstat: finer than the clock ticks of stat, which
# round a 30 s figure to 0.03 %), and the wake-ups (context switches) of all threads.
cpu_ns() { cat /proc/"$velora"/task/*/schedstat | awk '{ s += $1 } END { printf "%d", s }'; }
switches() { cat /proc/"$velora"/task/*/status | awk '/ctxt_switches/ { s += $2 } END { print s }'; }
c0=$(cpu_ns); w0=$(switches); s0=$(date +%s.%N)
sleep "$seconds"
c1=$(cpu_ns); w1=$(switches); s1=$(date +%s.%N)
awk -v a="$c0" -v b="$c1" -v w="$w0" -v x="$w1" -v s="$s0" -v e="$s1" -v lv="$hz_levels" \
  'BEGIN { printf "velora idle with levels at %d Hz: %.2f %% of one core over %.0f s, %.0f wake-ups/s\n", lv, 100 * (b - a) / 1e9 / (e - s), e - s, (x - w) / (e - s) }'
kill -TERM "$velora"; wait "$velora" 2>/dev/null || true
echo quit >&4
