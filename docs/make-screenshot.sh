#!/usr/bin/env bash
# Renders the README's screenshots: the desktop monitor decodes the bundled demo recording
# (data/demo.wav) from the audio file input on a virtual X display, with three filters set,
# and saves a picture of its window (docs/screenshot.png) and of its filter editor
# (docs/filters.png).
#   usage: docs/make-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/Pagora.INI" <<INI
[Pagora]
xSize=760
ySize=480
Percent=62
ConfirmExit=0
InputSource=2
AudioFile=$here/../data/demo.wav
[Filter]
FilterCount=3
Filter1=2,"1234567",0,"DEMO ","",0,0,0
Filter2=1,"",0,"ALERT ","temperature",0,0,0
Filter3=1,"",0,"OFFICE ","CALL",0,0,0
INI
cd "$work"
cp "$work/Pagora.INI" "$work/Pagora.INI.orig"
xvfb-run -a -s "-screen 0 1400x900x24" "$build/src/app/pagora" --ini "$work/Pagora.INI" \
  --screenshot "$here/screenshot.png" --after 16
echo "wrote $here/screenshot.png"
cp "$work/Pagora.INI.orig" "$work/Pagora.INI"
xvfb-run -a -s "-screen 0 1400x900x24" "$build/src/app/pagora" --ini "$work/Pagora.INI" \
  --screenshot "$here/filters.png" --dialog 213 --after 1
echo "wrote $here/filters.png"
