#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. Unless MERLON_COM1
# names a device, COM1 is the simulated modem and board (merlon-board-sim).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh merlon-eva merlon-board-sim

if [ -n "${MERLON_COM1:-}" ]; then
    echo "COM1 ist $MERLON_COM1."
    exec build/app/merlon-eva
fi

sim_dir=$(mktemp -d "${TMPDIR:-/tmp}/merlon-sim.XXXXXX")
# shellcheck disable=SC2086 # MERLON_SIM_OPTIONS holds several options
build/tools/board-sim/merlon-board-sim --link "$sim_dir/com1" ${MERLON_SIM_OPTIONS:-} \
    >"$sim_dir/simulator.log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$sim_dir"' EXIT
for _ in $(seq 50); do
    [ -e "$sim_dir/com1" ] && break
    sleep 0.1
done
echo "MERLON_COM1 ist nicht gesetzt: COM1 ist das simulierte Modem mit Board"
echo "(merlon-board-sim an $sim_dir/com1, Protokoll in $sim_dir/simulator.log)."
MERLON_COM1="$sim_dir/com1" build/app/merlon-eva
