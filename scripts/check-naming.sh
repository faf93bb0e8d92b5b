#!/usr/bin/env bash
# Checks the product code (not tests, not benchmarks) against the naming
# rules in .clang-tidy, with the compile commands of an already built ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'app/*.cpp' 'camera/*.cpp' 'capture/*.cpp' 'platform/*.cpp' \
                                  'serial/*.cpp' 'picture/*.cpp' 'windows/*.cpp' 'tools/*.cpp')
status=0
output=$(run-clang-tidy -quiet -p build -j "$(nproc)" "${files[@]}" 2>&1) || status=$?
grep -E '(warning|error):' <<<"$output" | sort -u || true
[ "$status" -eq 0 ] && echo "Naming: no findings in ${#files[@]} files."
exit "$status"
