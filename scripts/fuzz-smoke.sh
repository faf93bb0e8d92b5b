#!/usr/bin/env bash
# Builds the fuzz targets with clang into ./build-fuzz and runs each for a
# fixed number of inputs, starting from its seed corpus in fuzz/corpus (left
# unchanged: new inputs go to a scratch folder). Longer runs: see fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${MERLON_FUZZ_RUNS:-5000}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMERLON_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target merlon_fuzzers
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
for name in recording jpeg integer_field received_text; do
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
    mkdir "$scratch/$name"
    echo "fuzz_$name: $runs runs"
    "build-fuzz/fuzz/fuzz_$name" -runs="$runs" -max_len=65536 -rss_limit_mb=1024 \
        "${dict[@]}" "$scratch/$name" "fuzz/corpus/$name" 2>"$scratch/$name.log" \
        || { tail -n 40 "$scratch/$name.log"; exit 1; }
    grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/$name.log" || true
done
