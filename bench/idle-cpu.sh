#!/usr/bin/env bash
# velora's CPU while idle on the effects page, with the virtual card sending level reports at 20 Hz:
# the share of one core the process used over 30 s (/proc/PID/task/*/schedstat), after it settled,
# and how often its threads woke.
# Usage: bench/idle-cpu.sh [BUILD_DIR] [SECONDS] [LEVELS_HZ]   (0 Hz: no levels)
# Prints the threads' figures on standard error and the total as one line on standard output.
# IDLE_CPU_PROBE=COMMAND runs COMMAND (with $VELORA_PID set) while it measures.
# IDLE_CPU_SOUND=pulseaudio|pipewire starts a private sound server with the card's sink first, so
# the panel keeps its pads' warm stream open while it idles (default: none, no sound server).
# IDLE_CPU_LEVELS=silent has the card report silence (all levels 0) instead of moving levels, as a
# card does with nothing plugged into it.
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
hz_levels=${3:-20}
# shellcheck source=bench/xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"
mkdir -p "$dir/data" "$dir/run" "$dir/config" "$dir/cards"
chmod 700 "$dir/run"
sink="module-null-sink sink_name=lynt rate=44100 sink_properties='device.description=\"Orin LYNT!\"'"
case "${IDLE_CPU_SOUND:-none}" in
  none) unset PULSE_SERVER ;;
  pulseaudio)
    mkdir -p "$dir/pulse" && chmod 700 "$dir/pulse"
    export PULSE_RUNTIME_PATH="$dir/pulse" PULSE_SERVER="unix:$dir/pulse/native"
    root=(); [ "$(id -u)" -eq 0 ] && root=(--system=no)
    HOME="$dir/pulse" pulseaudio "${root[@]}" -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
      --disable-shm=yes --use-pid-file=no --log-level=error \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" -L "$sink" &
    pids+=($!)
    ;;
  pipewire)
    # The same servers as the audio tests' PipeWire: a daemon with a dummy driver and the card's
    # null sink, the session manager, and the PulseAudio protocol the panel speaks.
    pw="$dir/pw"
    mkdir -p "$pw/run" "$pw/config" "$pw/state" && chmod 700 "$pw/run"
    cat >"$pw/daemon.conf" <<'CONF'
context.properties = { core.daemon = true core.name = pipewire-0 default.clock.rate = 44100 }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-protocol-native } { name = libpipewire-module-access args = { } }
  { name = libpipewire-module-metadata } { name = libpipewire-module-spa-node-factory }
  { name = libpipewire-module-client-node } { name = libpipewire-module-client-device }
  { name = libpipewire-module-adapter } { name = libpipewire-module-link-factory }
  { name = libpipewire-module-session-manager }
]
context.objects = [
  { factory = spa-node-factory args = { factory.name = support.node.driver node.name = Dummy-Driver
      node.group = pipewire.dummy priority.driver = 20000 } }
  { factory = adapter args = { factory.name = support.null-audio-sink node.name = lynt
      node.description = "Orin LYNT!" media.class = Audio/Sink audio.position = [ FL FR ]
      audio.rate = 44100 monitor.channel-volumes = true } }
]
CONF
    cat >"$pw/pulse.conf" <<'CONF'
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-protocol-native } { name = libpipewire-module-client-node }
  { name = libpipewire-module-adapter } { name = libpipewire-module-metadata }
  { name = libpipewire-module-protocol-pulse args = { server.address = [ "unix:native" ] } }
]
CONF
    pwenv=(env -u PIPEWIRE_REMOTE XDG_RUNTIME_DIR="$pw/run" HOME="$pw" XDG_CONFIG_HOME="$pw/config"
      XDG_STATE_HOME="$pw/state" DBUS_SESSION_BUS_ADDRESS="unix:path=$pw/run/bus")
    "${pwenv[@]}" dbus-daemon --session --nofork --address="unix:path=$pw/run/bus" >>"$pw/log" 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [ -S "$pw/run/bus" ] && break; sleep 0.01; done
    "${pwenv[@]}" pipewire -c "$pw/daemon.conf" >>"$pw/log" 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [ -S "$pw/run/pipewire-0" ] && break; sleep 0.01; done
    "${pwenv[@]}" wireplumber >>"$pw/log" 2>&1 &
    pids+=($!)
    "${pwenv[@]}" pipewire -c "$pw/pulse.conf" >>"$pw/log" 2>&1 &
    pids+=($!)
    export PULSE_SERVER="unix:$pw/run/pulse/native"
    ;;
  *) echo "IDLE_CPU_SOUND: none, pulseaudio or pipewire" >&2; exit 2 ;;
esac
if [ -n "${PULSE_SERVER:-}" ]; then
  for _ in $(seq 100); do
    timeout 5 pactl info 2>/dev/null | grep -q "Default Sink: lynt" && break
    sleep 0.1
  done
fi
socket="$dir/cards/#VID_2B53&PID_0041#0"
mkfifo "$dir/card-in"
levels=${IDLE_CPU_LEVELS:-moving}
case "$levels" in
  moving) card_hz=$hz_levels ;;
  silent) card_hz=0 ;;
  *) echo "IDLE_CPU_LEVELS: moving or silent" >&2; exit 2 ;;
esac
"$build/tools/virtual-card/lynt-virtual-card" --socket "$socket" --levels-hz "$card_hz" <"$dir/card-in" >/dev/null 2>&1 &
card=$!
pids+=($card)
exec 4>"$dir/card-in"
if [ "$levels" = silent ] && [ "$hz_levels" -gt 0 ]; then
  # The card's own level frames move; silence is sent from here, one report at a time.
  period=$(awk -v hz="$hz_levels" 'BEGIN { printf "%.4f", 1 / hz }')
  while :; do echo "levels 0 0 0 0 0 0 0"; sleep "$period"; done >&4 &
  pids+=($!)
fi
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.02; done
DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$dir/cards" XDG_DATA_HOME="$dir/data" \
  XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" "$build/app/velora" >/dev/null 2>&1 &
velora=$!
pids+=($velora)
log="$dir/data/Velora/log"
for _ in $(seq 300); do grep -qs "card connected" "$log"/*.log && break; sleep 0.1; done
sleep 5
# CPU time (schedstat: finer than the clock ticks of stat, which round a 30 s figure to 0.03 %)
# and wake-ups (context switches) of every thread, one line per thread: tid name ns switches
# preemptions (the involuntary switches among them: taken off the core, not gone to sleep).
threads() {
  for t in /proc/"$velora"/task/*; do
    read -r ns _ <"$t/schedstat" || continue
    sw=$(awk '/ctxt_switches/ { s += $2 } /^nonvoluntary/ { p = $2 } END { print s, p }' "$t/status" 2>/dev/null) || continue
    printf '%s %s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm")" "$ns" "$sw"
  done
}
# The card's CPU over the same time, beside the panel's: a run where the panel alone costs several
# times its usual share is one to take again.
card_ns() { cat /proc/"$card"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }
before=$(threads); c0=$(card_ns); s0=$(date +%s.%N)
if [ -n "${IDLE_CPU_PROBE:-}" ]; then
  # A profiler run beside the measurement (strace, perf), given the panel's process id.
  VELORA_PID=$velora bash -c "$IDLE_CPU_PROBE" &
fi
sleep "$seconds"
after=$(threads); c1=$(card_ns); s1=$(date +%s.%N)
awk -v s="$s0" -v e="$s1" -v lv="$hz_levels" -v kind="$levels" -v snd="${IDLE_CPU_SOUND:-none}" -v before="$before" '
  BEGIN { n = split(before, lines, "\n"); for (i = 1; i <= n; i++) { split(lines[i], f, " "); ns[f[1]] = f[3]; sw[f[1]] = f[4]; pr[f[1]] = f[5] } }
  { dns = $3 - ns[$1]; dsw = $4 - sw[$1]; tns += dns; tsw += dsw
    if (dns > 0) printf "  %-16s %5.2f %%  %5.1f wake-ups/s (%.1f preempted)\n", $2, 100 * dns / 1e9 / (e - s), dsw / (e - s), ($5 - pr[$1]) / (e - s) }
  END { printf "velora idle with %s levels at %d Hz (sound server: %s): %.2f %% of one core over %.0f s, %.0f wake-ups/s\n", kind, lv, snd, 100 * tns / 1e9 / (e - s), e - s, tsw / (e - s) }' <<<"$after" >"$dir/figures"
# The total last: scripts read the final line.
grep -v "^velora" "$dir/figures" >&2 || true
awk -v s="$s0" -v e="$s1" -v c0="$c0" -v c1="$c1" 'BEGIN {
  printf "  the card (reference, same run): %.2f %% of one core\n", 100 * (c1 - c0) / 1e9 / (e - s) }' >&2
tail -1 "$dir/figures"
kill -TERM "$velora"; wait "$velora" 2>/dev/null || true
echo quit >&4
