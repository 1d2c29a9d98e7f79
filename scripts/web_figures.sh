#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser build's figures, next to scripts/measure.sh's native ones: the
# page's weight, navigation to the well, the renderer's processor time over
# some seconds of play without keys (10 unless given), and key to redraw, in
# Debian's Chromium headless. With @xterm/addon-canvas in node_modules (npm
# install --no-save), the processor time with that renderer too.
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
node scripts/web_figures.mjs "$build/web" "${2:-10}"
