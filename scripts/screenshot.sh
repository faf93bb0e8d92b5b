#!/usr/bin/env bash
# Takes the README's screenshot of the main window after a conversion, in a
# virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
MERLON_WITH_DISPLAY_TOOLS=1 scripts/install-deps.sh
scripts/build.sh
out=$(mktemp -d)
xvfb-run -a -s "-screen 0 1024x768x24" \
    build/tools/screenshot/merlon-screenshot samples/aufnahme-beispiel.txt "$out/bild" \
    docs/main-window.png
echo "docs/main-window.png"
