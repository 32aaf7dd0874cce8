#!/usr/bin/env bash
# Renders the README's screenshot: pagora-gen makes about 18 seconds of mixed traffic
# (docs/screenshot-scenario.json), the desktop monitor decodes it from the audio file on a
# virtual X display with two filters set, and saves a picture of its window.
#   usage: docs/make-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/tools/gen/pagora-gen" "$here/screenshot-scenario.json" -o "$work/demo.wav" >/dev/null
cat > "$work/Pagora.INI" <<INI
[Pagora]
xSize=760
ySize=520
Percent=62
ConfirmExit=0
InputSource=2
AudioFile=$work/demo.wav
[Filter]
FilterCount=2
Filter1=1,"",0,"FIRE ","FIRE",0,0,0
Filter2=2,"1809544",0,"HOTLINE ","",0,0,0
INI
cd "$work"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/src/app/pagora" --ini "$work/Pagora.INI" \
  --screenshot "$here/screenshot.png" --after 21
echo "wrote $here/screenshot.png"
