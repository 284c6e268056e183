#!/usr/bin/env bash
# Runs a command on a private X server. Xvfb picks a free display itself and names it on a pipe
# (-displayfd), so tests started together never race for the same display number.
set -uo pipefail
exec 3< <(exec Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x900x24 2>/dev/null)
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null' EXIT
if ! read -r -t 30 display <&3 || [ -z "$display" ]; then
  echo "run-on-xvfb: no X server could be started" >&2
  exit 1
fi
DISPLAY=":$display" "$@"
