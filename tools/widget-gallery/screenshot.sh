#!/usr/bin/env bash
# Takes a screenshot of the widget gallery, or of one layout, under a virtual X server.
#   tools/widget-gallery/screenshot.sh [BUILD_DIR] [OUT.png] [LAYOUT]
# BUILD_DIR defaults to ./build, OUT to /tmp/velora-widget-gallery.png; with LAYOUT (for example
# XML_MAINWND) only that layout's window is taken; XML_DLG_EQ shows the working equaliser dialog
# with the 1 kHz band raised. Needs xvfb-run (xvfb).
set -euo pipefail
build=${1:-build}
out=${2:-/tmp/velora-widget-gallery.png}
layout=${3:-}
exe="$build/tools/widget-gallery/velora-widget-gallery"
if [ ! -x "$exe" ]; then
  echo "screenshot: $exe not built (cmake --build $build --target velora-widget-gallery)" >&2
  exit 1
fi
# The gallery grabs its own windows, so the picture does not depend on a window manager.
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1920x1200x24" "$exe" ${layout:+--layout "$layout"} --screenshot "$out"
echo "$out"
