#!/usr/bin/env bash
# Screenshots of the effects page's "云音效" tab: a private X server, a virtual card, the cloud
# stand-in (with FAULT, e.g. effects=404, for the failure panel), one effect downloaded before
# velora starts and one used through the running panel, then STEPS (xdotool clicks) and the
# picture. Usage: scripts/screenshot-cloud-effects.sh BUILD_DIR OUT.png [STEPS] [FAULT]
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-cloud-effects.png}
steps=${3:-}
fault=${4:-}
# shellcheck source=scripts/desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"
start_card 0
start_cloud "$fault"
[ -z "$fault" ] && "$build/tools/lyntctl/lyntctl" cloud effect 明亮 >/dev/null
start_velora
[ -z "$fault" ] && "$build/tools/lyntctl/lyntctl" cloud effect 甜美 --use >/dev/null
[ -n "$steps" ] && bash -c "$steps"
shot_to "$out"
