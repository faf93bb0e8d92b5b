#!/usr/bin/env bash
# Builds everything once more into ./build-sanitize with AddressSanitizer,
# UndefinedBehaviorSanitizer and leak detection, and runs every test there.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMERLON_SANITIZE=ON \
    >/dev/null
cmake --build build-sanitize -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
