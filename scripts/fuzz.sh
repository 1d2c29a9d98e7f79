#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (fuzz/*_fuzz.cpp) with clang in build-fuzz and
# runs each one over its seed corpus fuzz/corpus/NAME.
#   bash scripts/fuzz.sh [SECONDS]   each target SECONDS long (default 60)
#   bash scripts/fuzz.sh --runs N    each target N inputs (the test command's
#                                    brief run)
# New inputs the fuzzers find go to build-fuzz/corpus/NAME, crashes to
# build-fuzz/artifacts/; the seed corpus in the repository is only read.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time="${1:-60}")
if [ "${1:-}" = "--runs" ]; then
    limit=(-runs="${2:?--runs needs a number}")
fi

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing: apt-get install -y clang libclang-rt-14-dev" >&2
    exit 1
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELVANE_FUZZ=ON -DZELVANE_TESTS=OFF -DZELVANE_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

mkdir -p build-fuzz/artifacts
targets=0 failed=0 inputs=0
for exe in build-fuzz/fuzz/*_fuzz; do
    [ -x "$exe" ] || continue
    name=$(basename "$exe" _fuzz)
    found="build-fuzz/corpus/$name"
    mkdir -p "$found"
    dirs=("$found")
    [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
    log="build-fuzz/$name.log"
    targets=$((targets + 1))
    if "$exe" "${limit[@]}" -artifact_prefix=build-fuzz/artifacts/"$name"- "${dirs[@]}" \
        >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
        inputs=$((inputs + runs))
        echo "fuzz: $name: $runs inputs, no fault"
    else
        failed=$((failed + 1))
        echo "fuzz: $name: FAULT FOUND (log $log):"
        grep -E 'ERROR|SUMMARY|_fuzz:|Test unit written' "$log" | head -20 || tail -20 "$log"
    fi
done
echo "fuzz summary: $targets targets, $inputs inputs, $failed with a fault"
[ "$failed" -eq 0 ]
