#!/usr/bin/env bash
# Takes the README's screenshots of a conversion in a virtual X server: the
# open and save dialogs as the program shows them, then the main window.
set -euo pipefail
cd "$(dirname "$0")/.."
MERLON_WITH_DISPLAY_TOOLS=1 scripts/install-deps.sh
scripts/build.sh
out=$(mktemp -d)
mkdir "$out/Bilder"
# Qt reads the dialogs' date format from the locale's name alone.
LC_ALL=de_DE.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" \
    build/tools/screenshot/merlon-screenshot --dialogs samples/aufnahme-beispiel.txt \
    "$out/Bilder/bild" docs/main-window.png docs/open-dialog.png docs/save-dialog.png
rm -r "$out"
echo "docs/main-window.png docs/open-dialog.png docs/save-dialog.png"
