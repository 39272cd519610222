#!/usr/bin/env bash
# Installs what is missing, builds Zentavia Desk and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF -DZD_BUILD_BENCH=OFF
cmake --build build-release --target zentavia-desk
exec build-release/zentavia-desk "$@"
