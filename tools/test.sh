#!/usr/bin/env bash
# Builds and runs the tests.
#   tools/test.sh        the unit and widget tests (offscreen)
#   tools/test.sh --ci   also: the tests again under ASan and UBSan, the Debian package
#                        with a check of its contents, and the end-to-end suite
set -euo pipefail
cd "$(dirname "$0")/.."

ci=false
for arg in "$@"; do
    case $arg in
    --ci) ci=true ;;
    *) echo "usage: tools/test.sh [--ci]" >&2; exit 2 ;;
    esac
done

jobs=$(nproc)
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Objects built in another clone of the project are reused.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

tools/deps.sh build
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/debug -j "$jobs"
ctest --test-dir build/debug --output-on-failure -j "$jobs"

if $ci; then
    echo "== sanitizers (ASan + UBSan)"
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIRQUILL_SANITIZE=ON >/dev/null
    cmake --build build/asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build/asan --output-on-failure -j "$jobs"

    echo "== Debian package"
    tools/deps.sh package
    cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRQUILL_BUILD_TESTS=OFF >/dev/null
    cmake --build build/package -j "$jobs"
    (cd build/package && cpack -G DEB >/dev/null)
    tools/check-package.sh build/package/dirquill_*.deb

    echo "== end-to-end suite (virtual display, accessibility bus)"
    tools/deps.sh e2e
    cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIRQUILL_E2E=ON >/dev/null
    cmake --build build/debug -j "$jobs"
    ctest --test-dir build/debug -R e2e --output-on-failure
fi
