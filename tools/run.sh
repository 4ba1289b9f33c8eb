#!/usr/bin/env bash
# Builds the program and starts it in its working folder
# (${XDG_DATA_HOME:-~/.local/share}/dirquill, prepared with config.mdb and the documents).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
export DIRQUILL_DATA_DIR="$PWD/build/release/share/dirquill"
exec build/release/dirquill-launcher "$@"
