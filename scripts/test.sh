#!/usr/bin/env bash
# Runs every test of a built tree.
set -euo pipefail
build=${1:-build}
cd "$build"
ctest --output-on-failure -j2 --timeout 300
