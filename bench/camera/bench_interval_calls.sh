#!/usr/bin/env bash
# A station on a metered line: merlon-capture --alle 1 --anwahl against the
# simulated board (CONNECT 2 s after ATD) for a number of one-minute
# intervals (twenty unless told otherwise). Prints each picture's distance
# from its schedule, the seconds each call was up, and the share of the run
# the line was held, from the board's own log.
#   bench/camera/bench_interval_calls.sh [INTERVALS] [BUILD]
# BUILD is the build folder of the merlon-capture to measure (build unless
# told); the board is always this checkout's, whose log tells the times.
set -euo pipefail
intervals=${1:-20}
build=${2:-build}
work=$(mktemp -d)
trap 'kill "$board" 2>/dev/null || true; rm -rf "$work"' EXIT
build/tools/board-sim/merlon-board-sim --fast --dial-delay 2000 --link "$work/com" \
    >/dev/null 2>"$work/board.log" &
board=$!
for _ in $(seq 50); do [ -e "$work/com" ] && break; sleep 0.1; done
start=$(date +%s.%N)
timeout -s INT $((intervals * 60 - 30)) "$build/tools/capture/merlon-capture" --port "$work/com" \
    --alle 1 --anwahl --name "$work/Hof" >"$work/out" 2>"$work/err" || true
end=$(date +%s.%N)
sleep 1
python3 - "$work/board.log" "$work/out" "$start" "$end" <<'PY'
import sys, datetime
log, out, start, end = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
day = datetime.datetime.fromtimestamp(start).replace(hour=0, minute=0, second=0, microsecond=0).timestamp()
def at(line):
    h, m, s = line.split()[0].split(':')
    t = day + int(h) * 3600 + int(m) * 60 + float(s)
    return t + 86400 if t < start - 60 else t
calls, up, requests = [], None, []
for line in open(log, encoding='utf-8', errors='replace'):
    if 'Antwort CONNECT' in line:
        up = at(line)
    elif ('aufgelegt' in line or 'NO CARRIER' in line) and up is not None:
        calls.append(at(line) - up); up = None
    elif 'Board-Zeile BILD' in line:
        requests.append(at(line))
if up is not None:
    calls.append(end - up)
print(f"{len(requests)} pictures requested in {end - start:.0f} s")
for n, t in enumerate(requests):
    print(f"picture {n + 1}: requested {t - (start + 60 * n):+.1f} s from its schedule")
for n, c in enumerate(calls):
    print(f"call {n + 1}: {c:.1f} s up")
held = sum(calls)
print(f"line held {held:.0f} s of {end - start:.0f} s: {100 * held / (end - start):.1f} %")
PY
cat "$work/err"
