#!/usr/bin/env bash
# Checks what merlon-capture offers a monitoring system with the real tools:
# the alerting rules with promtool (syntax, and their unit tests on recorded
# series), then a real run against the simulated board: its metrics file
# passes promtool check metrics, and node_exporter's textfile collector
# serves the station's series from it. Builds nothing: run it after
# ./test.sh has built everything in ./build (or name another build folder in
# MERLON_BUILD_DIR). Needs MERLON_WITH_MONITORING_TOOLS=1 scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MERLON_BUILD_DIR:-build}
board_sim=$build/tools/board-sim/merlon-board-sim
capture=$build/tools/capture/merlon-capture
exporter=$(command -v prometheus-node-exporter || command -v node_exporter || true)

echo "== Alerting rules"
promtool check rules tools/capture/merlon-capture.rules.yml
(cd tests/monitoring && promtool test rules merlon-capture.rules.test.yml)

echo "== Metrics of a run against the simulated board"
for program in "$board_sim" "$capture"; do
    if [ ! -x "$program" ]; then
        echo "check-monitoring: $program is missing; build first (./test.sh)" >&2
        exit 1
    fi
done
if [ -z "$exporter" ]; then
    echo "check-monitoring: prometheus-node-exporter is missing" >&2
    exit 1
fi

work=$(mktemp -d)
board_pid=
exporter_pid=
cleanup() {
    for pid in $exporter_pid $board_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The board behind a link of its own; the first picture loses a digit, so the
# run keeps a damaged one aside before it stores the sound second one.
"$board_sim" --fast --dial-delay 0 --drop-digit=1 --link "$work/com" >"$work/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 100); do
    [ -e "$work/com" ] && break
    kill -0 "$board_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -e "$work/com" ]; then
    echo "check-monitoring: the simulated board did not start" >&2
    cat "$work/board.log" >&2
    exit 1
fi

mkdir "$work/bilder" "$work/textfile"
metrics=$work/textfile/merlon.prom
timeout 120 "$capture" --port "$work/com" --anwahl --name "$work/bilder/Hof" \
    --metriken "$metrics"
promtool check metrics <"$metrics"
echo "promtool check metrics: $metrics passes"

echo "== node_exporter's textfile collector"
# A free port: one nobody answers on, and that the exporter then really got
# (it ends at once when another program took the port meanwhile).
served=
for _ in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        continue
    fi
    "$exporter" --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory="$work/textfile" \
        --web.listen-address="127.0.0.1:$port" >"$work/exporter.log" 2>&1 &
    exporter_pid=$!
    for _ in $(seq 50); do
        if curl -fsS "http://127.0.0.1:$port/metrics" >"$work/served" 2>/dev/null; then
            served=yes
            break
        fi
        kill -0 "$exporter_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$served" ] && break
    kill "$exporter_pid" 2>/dev/null || true
    wait "$exporter_pid" 2>/dev/null || true
    exporter_pid=
done
if [ -z "$served" ]; then
    echo "check-monitoring: node_exporter did not serve its metrics" >&2
    cat "$work/exporter.log" >&2
    exit 1
fi

missing=0
for series in \
    "merlon_capture_pictures_total{port=\"$work/com\",verdict=\"damaged\"} 1" \
    "merlon_capture_pictures_total{port=\"$work/com\",verdict=\"sound\"} 1" \
    "merlon_capture_attempts_total{outcome=\"damaged\",port=\"$work/com\"} 1" \
    "merlon_capture_dials_total{port=\"$work/com\",result=\"connect\"} 1" \
    "merlon_capture_interval_seconds{port=\"$work/com\"} 0"; do
    if ! grep -qxF "$series" "$work/served"; then
        echo "check-monitoring: node_exporter does not serve: $series" >&2
        missing=1
    fi
done
# The collector reports a file it could not read as an error.
if grep -q '^node_textfile_scrape_error 1' "$work/served"; then
    echo "check-monitoring: the textfile collector could not read $metrics" >&2
    missing=1
fi
# A few of them, as served (sed reads to the end: no broken pipe).
grep -E '^merlon_capture_(pictures_total|last_|line_|interval|start)' "$work/served" |
    sed -n 's/^/  /;1,12p'
if [ "$missing" -ne 0 ]; then
    exit 1
fi
echo "check-monitoring: node_exporter serves the station's series"
