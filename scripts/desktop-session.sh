# Sourced by the screenshot scripts: a private X server (bench/xvfb-session.sh gives $dir, $pids
# and $display, and ends everything on exit), per-session data, runtime and config folders, and
# helpers that start a virtual card, the cloud stand-in, a private PulseAudio and velora.
# Needs $build set to the build folder first.
# shellcheck source=bench/xvfb-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../bench/xvfb-session.sh"
command -v import >/dev/null || { echo "installing imagemagick for 'import'"; apt-get install -y -q imagemagick >/dev/null; }
mkdir -p "$dir/data" "$dir/run" "$dir/config"
chmod 700 "$dir/run"
export DISPLAY=":$display" LYNT_VIRTUAL_CARD_DIR="$dir" XDG_DATA_HOME="$dir/data" \
  XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config"

# A virtual card sending levels at 20 Hz, given a moment to listen.
start_card() {
  "$build/tools/virtual-card/lynt-virtual-card" --socket "$dir/#VID_2B53&PID_0041#0" \
    --levels-hz 20 </dev/null &
  pids+=($!)
  sleep "${1:-0.5}"
}

# The cloud stand-in on a free port, with an optional fault (effects=404, say); sets
# VELORA_CLOUD_URL once the stand-in has printed its address.
start_cloud() {
  local sim=("$build/tools/cloud-sim/velora-cloud-sim" --port 0)
  [ -n "${1:-}" ] && sim+=(--fault "$1")
  "${sim[@]}" </dev/null >"$dir/cloud-url" &
  pids+=($!)
  for _ in $(seq 50); do
    [ -s "$dir/cloud-url" ] && break
    sleep 0.1
  done
  [ -s "$dir/cloud-url" ] && export VELORA_CLOUD_URL=$(head -n 1 "$dir/cloud-url")
  return 0
}

# A private PulseAudio whose null sink plays the card ("Orin LYNT!") and whose remapped monitor
# is the card's input.
start_pulse() {
  mkdir -p "$dir/pulse" && chmod 700 "$dir/pulse"
  export PULSE_RUNTIME_PATH="$dir/pulse" PULSE_SERVER="unix:$dir/pulse/native"
  local root=(); [ "$(id -u)" -eq 0 ] && root=(--system=no)
  HOME="$dir/pulse" pulseaudio "${root[@]}" -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --disable-shm=yes --use-pid-file=no --log-level=error \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" \
    -L "module-null-sink sink_name=lynt rate=44100 sink_properties='device.description=\"Orin LYNT!\"'" \
    -L "module-remap-source master=lynt.monitor source_name=lynt_in source_properties='device.description=\"Orin LYNT! Input\"'" &
  pids+=($!)
}

# velora against all of the above, given SECONDS (default 3) to start and meet the card.
start_velora() {
  "$build/app/velora" &
  pids+=($!)
  sleep "${1:-3}"
}

shot_to() { import -window root "$1"; echo "saved $1"; }
