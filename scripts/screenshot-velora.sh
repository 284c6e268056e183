#!/usr/bin/env bash
# Takes a screenshot of velora's main window: a private X server, a virtual card sending level
# frames, the cloud stand-in when it is built, and velora against them.
# Usage: scripts/screenshot-velora.sh [BUILD_DIR] [OUT.png] [STEPS]
# STEPS, when given, is run with DISPLAY set before the picture is taken (xdotool clicks, say).
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-main.png}
steps=${3:-}
# shellcheck source=scripts/desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"
start_card
[ -x "$build/tools/cloud-sim/velora-cloud-sim" ] && start_cloud
start_velora
[ -n "$steps" ] && bash -c "$steps"
shot_to "$out"
