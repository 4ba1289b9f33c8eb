#!/usr/bin/env bash
# Builds and runs the tests.
#   tools/test.sh        the unit and widget tests (offscreen)
#   tools/test.sh --ci   also: the tests again under ASan and UBSan, the Debian package
#                        with a check of its contents, and the end-to-end suite; the
#                        package built twice must come out the same, and every fuzz
#                        target runs for 30 s
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
# The system bus and udevd for the storage tests; udisksd starts on the first call.
tools/services.sh
ctest --test-dir build/debug --output-on-failure -j "$jobs"

if $ci; then
    tools/deps.sh e2e package
    sanitizer_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
                   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)

    echo "== end-to-end suite (virtual display, accessibility bus)"
    cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIRQUILL_E2E=ON >/dev/null
    cmake --build build/debug -j "$jobs"
    ctest --test-dir build/debug -R e2e --output-on-failure

    echo "== every test again under ASan and UBSan, the end-to-end suite included"
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIRQUILL_SANITIZE=ON \
        -DDIRQUILL_E2E=ON >/dev/null
    cmake --build build/asan -j "$jobs"
    env "${sanitizer_env[@]}" ctest --test-dir build/asan --output-on-failure -j "$jobs" -E e2e
    env "${sanitizer_env[@]}" ctest --test-dir build/asan --output-on-failure -R e2e

    echo "== core tests under valgrind"
    for test in tst_name_codec tst_name_order tst_folder_listing tst_file_changes tst_trash \
                tst_error_text tst_workspace_store; do
        QT_QPA_PLATFORM=offscreen valgrind -q --error-exitcode=1 --leak-check=no \
            --suppressions=tools/valgrind.supp \
            "build/debug/tests/$test" >/dev/null
    done
    echo "valgrind: core tests clean"

    echo "== Debian package"
    cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRQUILL_BUILD_TESTS=OFF \
        -DDIRQUILL_BUILD_BENCH=ON >/dev/null
    cmake --build build/package -j "$jobs"
    (cd build/package && cpack -G DEB >/dev/null)
    tools/check-package.sh build/package/dirquill_*.deb

    # --- reproducible package and fuzzing
    echo "== the package of this commit built twice, in two folders: byte-identical"
    tools/check-package.sh --reproducible

    echo "== every fuzz target for 30 s under ASan and UBSan"
    tools/deps.sh fuzz
    tools/fuzz.sh 30
    # ---
fi
