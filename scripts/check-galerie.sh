#!/usr/bin/env bash
# Checks the stations' web site as a reader gets it: a run of merlon-capture
# against the simulated board (the first dial busy, the first picture losing
# a digit), merlon-galerie over its journal, tidy on every page, then the
# site served on the loopback with python3 -m http.server and opened in
# headless Chromium with axe-core injected (tests/browser/check_site.py).
# Builds nothing: run it after ./test.sh has built everything in ./build (or
# name another build folder in MERLON_BUILD_DIR). Needs
# MERLON_WITH_BROWSER_TOOLS=1 scripts/install-deps.sh; fetches axe-core with
# npm into a scratch folder. MERLON_SCREENSHOTS=docs keeps the screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MERLON_BUILD_DIR:-build}
board_sim=$build/tools/board-sim/merlon-board-sim
capture=$build/tools/capture/merlon-capture
galerie=$build/tools/galerie/merlon-galerie
for program in "$board_sim" "$capture" "$galerie"; do
    if [ ! -x "$program" ]; then
        echo "check-galerie: $program is missing; build first (./test.sh)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
board_pid=
server_pid=
cleanup() {
    for pid in $server_pid $board_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== A station's run against the simulated board"
"$board_sim" --fast --dial-delay 0 --busy=1 --drop-digit=1 --link "$work/com" >"$work/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 100); do
    [ -e "$work/com" ] && break
    kill -0 "$board_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -e "$work/com" ]; then
    echo "check-galerie: the simulated board did not start" >&2
    cat "$work/board.log" >&2
    exit 1
fi
mkdir "$work/Hof"
journal=$work/Hof/Hof.jsonl
timeout 120 "$capture" --port "$work/com" --anwahl --name "$work/Hof/Hof" --protokoll "$journal" \
    >"$work/capture.out" 2>"$work/capture.err"
cat "$journal"

echo "== merlon-galerie"
"$galerie" --ziel "$work/site" "$journal"

echo "== tidy"
status=0
while IFS= read -r -d '' page; do
    # tidy's exit status: 1 for warnings, 2 for errors.
    tidy -q -e "$page" || [ $? -eq 1 ] || { echo "check-galerie: tidy finds errors in $page" >&2; status=1; }
done < <(find "$work/site" -name '*.html' -print0)
[ "$status" -eq 0 ] || exit 1
echo "tidy finds no error"

echo "== axe-core"
npm install --silent --no-audit --no-fund --prefix "$work/npm" axe-core >/dev/null
axe=$work/npm/node_modules/axe-core/axe.min.js
[ -s "$axe" ] || { echo "check-galerie: axe-core did not install" >&2; exit 1; }

echo "== The site in headless Chromium"
served=
for _ in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        continue
    fi
    /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$work/site" "$port" \
        >"$work/server.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do
        if curl -fsS -o /dev/null "http://127.0.0.1:$port/index.html" 2>/dev/null; then
            served=yes
            break
        fi
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$served" ] && break
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
done
if [ -z "$served" ]; then
    echo "check-galerie: the web server did not start" >&2
    cat "$work/server.log" >&2
    exit 1
fi
screens=()
if [ -n "${MERLON_SCREENSHOTS:-}" ]; then
    mkdir -p "$MERLON_SCREENSHOTS"
    screens=("$(realpath "$MERLON_SCREENSHOTS")")
fi
/usr/bin/python3 tests/browser/check_site.py "http://127.0.0.1:$port" "$journal" "$axe" "${screens[@]}"
echo "check-galerie: the site passes in Chromium, axe-core and tidy"

echo "== A fleet: sixteen stations copied with rclone to a WebDAV server on the loopback"
mkdir "$work/landing"
dav_pid=
for _ in $(seq 20); do
    dav_port=$((20000 + RANDOM % 40000))
    if (exec 3<>"/dev/tcp/127.0.0.1/$dav_port") 2>/dev/null; then
        continue
    fi
    rclone serve webdav --addr "127.0.0.1:$dav_port" "$work/landing" >"$work/dav.log" 2>&1 &
    dav_pid=$!
    for _ in $(seq 50); do
        curl -fsS -o /dev/null -X PROPFIND -H 'Depth: 0' "http://127.0.0.1:$dav_port/" 2>/dev/null && break 2
        kill -0 "$dav_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$dav_pid" 2>/dev/null || true
    wait "$dav_pid" 2>/dev/null || true
    dav_pid=
done
[ -n "$dav_pid" ] || { echo "check-galerie: rclone serve webdav did not start" >&2; cat "$work/dav.log" >&2; exit 1; }
server_pid="$server_pid $dav_pid"
# What each station runs after its pictures (--danach) or from a timer; the
# journal keeps its station's name.
journals=()
for n in $(seq -w 1 16); do
    mkdir -p "$work/station$n"
    cp "$work/Hof/"*.jpg "$work/station$n/"
    cp "$journal" "$work/station$n/Station$n.jsonl"
    rclone copy -q --include '*.jpg' --include '*.jsonl' "$work/station$n" \
        ":webdav,url='http://127.0.0.1:$dav_port':kameras/station$n"
    journals+=("$work/landing/kameras/station$n/Station$n.jsonl")
done
"$galerie" --ziel "$work/fleet" "${journals[@]}"
cards=$(grep -c '<section class="karte"' "$work/fleet/index.html")
pictures=$(find "$work/fleet" -path '*/bilder/*.jpg' | wc -l)
echo "sixteen journals: $cards cards, $pictures pictures in the site"
[ "$cards" -eq 16 ] && [ "$pictures" -eq 32 ] || { echo "check-galerie: the fleet's site is not whole" >&2; exit 1; }
tidy -q -e "$work/fleet/index.html" || [ $? -eq 1 ]
echo "check-galerie: sixteen stations through rclone on one page"
