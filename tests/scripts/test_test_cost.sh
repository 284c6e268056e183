#!/usr/bin/env bash
# scripts/test-cost.py against a test tree whose costs are known by construction: a test that only
# sleeps, one that spends CPU itself, one whose grandchild spends it, and one that fails.
# Usage: test_test_cost.sh TEST_COST_PY
set -euo pipefail
cost=$1
# Debian's interpreter where there is one: a version manager's shim starts shells by the hundred.
python=$(command -v /usr/bin/python3 || command -v python3)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# 0.3 s of this process's own CPU, however long the machine makes it take.
burn='import time
t = time.process_time()
while time.process_time() - t < 0.3:
    pass'
cat >"$tmp/CTestTestfile.cmake" <<CTEST
add_test(sleeper "/bin/sleep" "0.4")
add_test(burner "$python" "-c" "$burn")
add_test(grandparent "bash" "-c" "$python -c '$burn' & wait")
add_test(failing "/bin/false")
CTEST
set +e
"$python" "$cost" "$tmp" -j 2 --tsv "$tmp/out.tsv" >"$tmp/out.txt" 2>&1
status=$?
set -e
[ "$status" = 1 ] || fail "status $status with a failing test"
grep -q "^failed: failing$" "$tmp/out.txt" || fail "the failing test is not named"
grep -q "^4 tests at -j2" "$tmp/out.txt" || fail "not four tests: $(head -1 "$tmp/out.txt")"
field() { awk -F'\t' -v n="$1" -v f="$2" '$1 == n { print $f }' "$tmp/out.tsv"; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }
above "$(field sleeper 2)" 0.4 || fail "sleeper's wall $(field sleeper 2) < 0.4 s"
above 0.1 "$(field sleeper 3)" || fail "sleeper's CPU $(field sleeper 3) s for a sleep"
above "$(field burner 3)" 0.3 || fail "burner's CPU $(field burner 3) < 0.3 s"
above "$(field grandparent 3)" 0.3 || fail "the grandchild's CPU was not counted: $(field grandparent 3)"
[ "$(field failing 4)" = 1 ] || fail "failing's status $(field failing 4)"
[ "$(field burner 4)" = 0 ] || fail "burner's status $(field burner 4)"

# The order and the slots CTest would give them: one at a time, the costliest first; two at a
# time, an entry that takes both slots runs alone, so "wide" waits until "middle" and "narrow"
# (which fit beside each other) are done, although it costs more than "narrow".
mkdir "$tmp/order"
for t in first middle wide narrow; do
  echo "add_test($t \"bash\" \"-c\" \"echo start $t >>'$tmp/events'; sleep 0.2; echo end $t >>'$tmp/events'\")"
done >"$tmp/order/CTestTestfile.cmake"
cat >>"$tmp/order/CTestTestfile.cmake" <<CTEST
set_tests_properties(narrow PROPERTIES COST 1)
set_tests_properties(wide PROPERTIES COST 3 PROCESSORS 2)
set_tests_properties(middle PROPERTIES COST 5)
set_tests_properties(first PROPERTIES COST 9 PROCESSORS 2)
CTEST
events() { grep "^start" "$tmp/events" | cut -d' ' -f2 | tr '\n' ' '; }
"$python" "$cost" "$tmp/order" -j 1 >"$tmp/order.txt" 2>&1 || fail "the order tree failed"
[ "$(events)" = "first middle wide narrow " ] || fail "one at a time, started in the order $(events)"
rm "$tmp/events"
"$python" "$cost" "$tmp/order" -j 2 >"$tmp/order.txt" 2>&1 || fail "the order tree failed at -j2"
[ "$(sed -n '1,2p' "$tmp/events" | tr '\n' ' ')" = "start first end first " ] ||
  fail "first did not run alone: $(tr '\n' ' ' <"$tmp/events")"
[ "$(sed -n '7,8p' "$tmp/events" | tr '\n' ' ')" = "start wide end wide " ] ||
  fail "wide did not run alone after the others: $(tr '\n' ' ' <"$tmp/events")"

[ "$failures" = 0 ] || { cat "$tmp/out.txt"; exit 1; }
echo "test-cost: sleep, own CPU, a grandchild's CPU and a failure each counted; CTest's order and slots kept"
