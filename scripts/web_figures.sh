#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser build's figures, next to scripts/measure.sh's native ones: the
# page's renderer processor time over a few seconds of play without keys,
# and key to redraw, in Debian's Chromium headless.
#
#   scripts/web_figures.sh [build-web] [seconds]
#
# Builds the page first (emcmake, with the npm packages of the lock file)
# unless the build tree already holds it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-web}
if [ ! -f "$build/web/zelvane.wasm" ]; then
    [ -d node_modules/@xterm/xterm ] || npm ci --no-audit --no-fund --loglevel=error >/dev/null
    emcmake cmake -S . -B "$build" >/dev/null
    cmake --build "$build" -j"$(nproc)" >/dev/null
fi
node tests/web/figures.mjs "$build/web" "${2:-5}"
