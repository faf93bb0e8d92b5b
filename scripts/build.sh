#!/usr/bin/env bash
# Configures ./build (Release with debug info) and builds it.
#   scripts/build.sh [-D<option>=<value>...] [target...]
# Options go to the configure step; without targets, everything is built.
set -euo pipefail
cd "$(dirname "$0")/.."
options=()
targets=()
for argument in "$@"; do
    case "$argument" in
        -D*) options+=("$argument") ;;
        *) targets+=(--target "$argument") ;;
    esac
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build build -j "$(nproc)" "${targets[@]}"
