#!/usr/bin/env bash
# Runs each libFuzzer target of a VELORA_FUZZ build for FUZZ_SECONDS (default 60) and prints, per
# target, executions per second, corpus size, coverage (edges) and crashes found.
#   scripts/run-fuzz.sh [BUILD_DIR]     FUZZ_TARGETS="a b" limits the run to some targets.
# The seed corpus is copied to BUILD_DIR/fuzz-work/<target>/corpus, never written in place;
# crash inputs land in BUILD_DIR/fuzz-work/<target>/crashes. Exit status 1 when any target crashed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-fuzz}" && pwd) || exit 2
seconds=${FUZZ_SECONDS:-60}
work=$build/fuzz-work

# Longest input per target, fitting the format: one frame or a few, small files, short answers.
declare -A max_len=(
  [report_descriptor]=512 [card_frame]=73 [card_report]=640
  [profile]=8192 [settings_store]=32768 [mood_file]=8192 [effect_file]=4096
  [step_file]=4096 [firmware_package]=8192 [firmware_check]=1024
  [cloud_categories]=4096 [cloud_clips]=4096 [json_reader]=4096
  [panel_request]=2048 [panel_answer]=2048
  [clip_mp3]=16384 [engine_mp3]=16384 [wave_file]=4096
  [effect_list]=8192 [cloud_effects]=8192 [download_ini]=4096 [panel_frame]=4096
)
targets=${FUZZ_TARGETS:-report_descriptor card_frame card_report profile settings_store mood_file
  effect_file step_file firmware_package firmware_check cloud_categories cloud_clips json_reader
  panel_request panel_answer clip_mp3 engine_mp3 wave_file effect_list cloud_effects download_ini
  panel_frame}

summary=()
crashed=0
for t in $targets; do
  program=$build/fuzz/fuzz_$t
  if [ ! -x "$program" ]; then
    echo "run-fuzz: $program is missing (make fuzz builds it)" >&2
    exit 2
  fi
  dir=$work/$t
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/crashes"
  cp "$root/fuzz/corpus/$t/"* "$dir/corpus/"
  args=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -print_final_stats=1
        -timeout=25 -rss_limit_mb=2048 -artifact_prefix="$dir/crashes/"
        # The readers log every refusal; that output is noise here (reports still show).
        -close_fd_mask=2)
  if [ -f "$root/fuzz/dict/$t.dict" ]; then
    args+=(-dict="$root/fuzz/dict/$t.dict")
  fi
  echo "== $t: ${seconds} s"
  ( cd "$dir" && "$program" "${args[@]}" corpus ) > "$dir/fuzz.log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/fuzz.log" | tail -1)
  edges=$(grep -o 'cov: [0-9]*' "$dir/fuzz.log" | tail -1 | cut -d' ' -f2)
  units=$(find "$dir/corpus" -type f | wc -l)
  kb=$(find "$dir/corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.1f", s / 1024 }')
  crashes=$(find "$dir/crashes" -type f | wc -l)
  if [ "$crashes" -gt 0 ] || [ $status -ne 0 ]; then
    crashed=1
    grep -m1 -E 'ERROR: (AddressSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error|terminate called' \
      "$dir/fuzz.log" | sed 's/^/   /'
    find "$dir/crashes" -type f | sed 's/^/   input: /'
  fi
  summary+=("$(printf '%-18s %10s %8s %8s %7s %8s' "$t" "${execs:-?}" "$units" "$kb" "${edges:-?}" "$crashes")")
done

echo
printf '%-18s %10s %8s %8s %7s %8s\n' target "execs/s" "corpus" "KB" edges crashes
printf '%s\n' "${summary[@]}"
echo "logs and crash inputs: $work/<target>/"
exit $crashed
