#!/usr/bin/env bash
# Runs the end-to-end journeys against a build folder, REPEAT times in a row (default 1).
#   tests/e2e/run.sh BUILD_DIR [REPEAT]
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: tests/e2e/run.sh BUILD_DIR [REPEAT]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
repeat=${2:-1}
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdotool dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher; do
    if ! command -v "$tool" >/dev/null; then
        echo "run.sh: $tool is missing; install with tools/deps.sh e2e" >&2
        exit 2
    fi
done
for ((i = 1; i <= repeat; i++)); do
    echo "== end-to-end run $i of $repeat"
    /usr/bin/python3 "$here/dirquill_e2e.py" "$build"
done
echo "== $repeat run(s) passed"
