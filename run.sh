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
# "|| true": the simulator may have ended already (Ctrl+C reaches it too) or
# ends by the signal, and under set -e either would end the clean-up before
# the folder is gone.
# shellcheck disable=SC2317 # called by the EXIT trap
end_simulator() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -rf "$sim_dir"
}
trap end_simulator EXIT
for _ in $(seq 50); do
    [ -e "$sim_dir/com1" ] && break
    sleep 0.1
done
echo "MERLON_COM1 ist nicht gesetzt: COM1 ist das simulierte Modem mit Board"
echo "(merlon-board-sim an $sim_dir/com1, Protokoll in $sim_dir/simulator.log)."
# The program runs as a child the script waits for, so that a stop for the
# script (SIGTERM, Ctrl+C's SIGINT, a closed terminal's SIGHUP) reaches it
# too; once it has ended, so does the simulator.
MERLON_COM1="$sim_dir/com1" build/app/merlon-eva &
program_pid=$!
trap 'kill -TERM "$program_pid" 2>/dev/null || true' TERM INT HUP
status=0
wait "$program_pid" || status=$?
# A trapped signal ends the wait before the program has ended: wait for its end.
while kill -0 "$program_pid" 2>/dev/null; do
    status=0
    wait "$program_pid" || status=$?
done
exit "$status"
