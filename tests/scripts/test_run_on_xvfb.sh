#!/usr/bin/env bash
# tests/run-on-xvfb.sh: two runs at the same time each get an X server of their own, the command's
# exit status comes back, and no server is left running afterwards.
# Usage: test_run_on_xvfb.sh RUN_ON_XVFB
set -euo pipefail
run=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Each run names its display and its server, then waits until the other run has done the same, so
# both servers are up at once; then it asks its own server for the screen.
one() {
  "$run" bash -c '
    me=$1 other=$2
    echo "$DISPLAY" >"$me.display"
    pgrep -P "$PPID" -x Xvfb >"$me.server"
    for _ in $(seq 200); do [ -s "$other.display" ] && break; sleep 0.05; done
    xdotool getdisplaygeometry >"$me.screen"' _ "$tmp/$1" "$tmp/$2"
}
one a b &
first=$!
one b a &
second=$!
wait "$first" || fail "the first run failed"
wait "$second" || fail "the second run failed"
a=$(cat "$tmp/a.display" 2>/dev/null || true)
b=$(cat "$tmp/b.display" 2>/dev/null || true)
[[ $a == :* && $b == :* ]] || fail "no display given: '$a' '$b'"
[ "$a" != "$b" ] || fail "both runs were given display $a"
for run_name in a b; do
  [ "$(cat "$tmp/$run_name.screen" 2>/dev/null)" = "1280 900" ] ||
    fail "run $run_name did not reach its server's 1280 x 900 screen"
done

# The servers end with their runs (reaped by init a moment later at most).
for pid in $(cat "$tmp/a.server" "$tmp/b.server" 2>/dev/null); do
  ended() { [ ! -d "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }
  for _ in $(seq 40); do ended "$pid" && break; sleep 0.05; done
  ended "$pid" || fail "X server $pid outlived its run"
done
[ "$(wc -w <"$tmp/a.server")" = 1 ] || fail "the run's own X server was not found"

set +e
"$run" sh -c 'exit 7'
status=$?
set -e
[ "$status" = 7 ] || fail "exit status $status, not the command's 7"

[ "$failures" = 0 ] || exit 1
echo "run-on-xvfb: separate displays $a and $b, status passed on, servers gone"
