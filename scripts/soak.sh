#!/usr/bin/env bash
# The soak run (scripts/soak.py): builds velora and its stand-ins with ASan and UBSan in
# BUILD_DIR (default build-soak, the UI on), then runs SOAK_CYCLES cycles (default 30, a few
# minutes) nice'd. Extra arguments go to soak.py (--minutes N, --seed N, --keep).
#   scripts/soak.sh [BUILD_DIR] [soak.py options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-soak}
shift || true
jobs=${JOBS:-2}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_SANITIZE=ON \
  -DVELORA_BUILD_UI=ON -DVELORA_WARNINGS_AS_ERRORS=ON >/dev/null
nice -n 10 cmake --build "$build" -j "$jobs" --target velora lyntctl lynt-virtual-card \
  velora-cloud-sim velora-fwpack velora-clipgen
exec nice -n 10 python3 "$root/scripts/soak.py" --build "$build" --cycles "${SOAK_CYCLES:-30}" "$@"
