#!/usr/bin/env bash
# Runs every benchmark that was built.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
