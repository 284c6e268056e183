#!/usr/bin/env bash
# velora's CPU while idle on the effects page, with the virtual card sending level reports at 20 Hz:
# the share of one core the process used over 30 s (/proc/PID/task/*/schedstat), after it settled,
# and how often its threads woke.
# Usage: bench/idle-cpu.sh [BUILD_DIR] [SECONDS] [LEVELS_HZ]   (0 Hz: no levels)
# Prints the threads' figures on standard error and the total as one line on standard output.
# IDLE_CPU_PROBE=COMMAND runs COMMAND (with $VELORA_PID set) while it measures.
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
# CPU time (schedstat: finer than the clock ticks of stat, which round a 30 s figure to 0.03 %)
# and wake-ups (context switches) of every thread, one line per thread: tid name ns switches.
threads() {
  for t in /proc/"$velora"/task/*; do
    read -r ns _ <"$t/schedstat" || continue
    sw=$(awk '/ctxt_switches/ { s += $2 } END { print s }' "$t/status" 2>/dev/null) || continue
    printf '%s %s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm")" "$ns" "$sw"
  done
}
before=$(threads); s0=$(date +%s.%N)
if [ -n "${IDLE_CPU_PROBE:-}" ]; then
  # A profiler run beside the measurement (strace, perf), given the panel's process id.
  VELORA_PID=$velora bash -c "$IDLE_CPU_PROBE" &
fi
sleep "$seconds"
after=$(threads); s1=$(date +%s.%N)
awk -v s="$s0" -v e="$s1" -v lv="$hz_levels" -v before="$before" '
  BEGIN { n = split(before, lines, "\n"); for (i = 1; i <= n; i++) { split(lines[i], f, " "); ns[f[1]] = f[3]; sw[f[1]] = f[4] } }
  { dns = $3 - ns[$1]; dsw = $4 - sw[$1]; tns += dns; tsw += dsw
    if (dns > 0) printf "  %-16s %5.2f %%  %5.1f wake-ups/s\n", $2, 100 * dns / 1e9 / (e - s), dsw / (e - s) }
  END { printf "velora idle with levels at %d Hz: %.2f %% of one core over %.0f s, %.0f wake-ups/s\n", lv, 100 * tns / 1e9 / (e - s), e - s, tsw / (e - s) }' <<<"$after" >"$dir/figures"
# The total last: scripts read the final line.
grep -v "^velora" "$dir/figures" >&2 || true
tail -1 "$dir/figures"
kill -TERM "$velora"; wait "$velora" 2>/dev/null || true
echo quit >&4
