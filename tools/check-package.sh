#!/bin/sh
# Checks a built Debian package of Dirquill: the files it must hold, its
# control fields, Debian's own checks (lintian: no error, no warning and no
# hardening tag), the hardening of every program in it (hardening-check) and
# the installed desktop and AppStream entries. Lists everything missing or
# wrong and exits non-zero then. Needs "tools/deps.sh package".
#
# With --reproducible it first builds the package of the commit checked out
# twice, in two folders one after the other, and requires the two to be the
# same byte for byte; then it checks the first.
#
# Usage: tools/check-package.sh DEB
#        tools/check-package.sh --reproducible

set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 DEB | --reproducible" >&2
    exit 2
fi

# --- reproducible: two builds of the same commit, one comparison
if [ "$1" = --reproducible ]; then
    source_dir=$(cd "$(dirname "$0")/.." && pwd)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # build_package DIR: the .deb of HEAD built in DIR, its path on standard output. The
    # sources are written anew (dated now), so the two builds differ in folder and time.
    build_package() {
        mkdir -p "$1/src"
        git -C "$source_dir" archive HEAD | tar -x -m -C "$1/src"
        cmake -S "$1/src" -B "$1/src/build/package" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DDIRQUILL_BUILD_TESTS=OFF -DDIRQUILL_BUILD_BENCH=ON >/dev/null
        cmake --build "$1/src/build/package" -j "$(nproc)" >&2
        (cd "$1/src/build/package" && cpack -G DEB >/dev/null)
        ls "$1"/src/build/package/dirquill_*.deb
    }
    first=$(build_package "$work/one")
    sleep 2
    second=$(build_package "$work/second-build")
    sha256sum "$first" "$second"
    if ! cmp -s "$first" "$second"; then
        echo "$0: two builds of the same commit differ" >&2
        exit 1
    fi
    echo "reproducible: both builds give $(sha256sum <"$first" | cut -d' ' -f1)"
    status=0
    "$0" "$first" || status=$?
    exit "$status"
fi
# ---

deb=$1
if [ ! -f "$deb" ]; then
    echo "$0: no such file: $deb" >&2
    exit 2
fi

expected_version=1.0.0.1

# dpkg-deb lists through tar, which escapes non-ASCII names unless the locale
# is a UTF-8 one; the document names are Chinese.
listing=$(LC_ALL=C.UTF-8 dpkg-deb -c "$deb")
# One line per entry: "<mode> /path", without the owner, size, date and any
# link target.
entries=$(printf '%s\n' "$listing" |
    sed -E 's/^([^ ]+) +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +\.?(.*)$/\1 \2/; s/ -> .*$//')

problems=0
problem() {
    printf '%s\n' "$*" >&2
    problems=$((problems + 1))
}

# entry_mode PATH: the mode string of PATH in the package, empty if absent.
entry_mode() {
    printf '%s\n' "$entries" | awk -v p="$1" '{ m = $1; sub(/^[^ ]+ /, ""); if ($0 == p) { print m; exit } }'
}

# need_file PATH [x]: PATH must be a regular file (executable with "x").
need_file() {
    mode=$(entry_mode "$1")
    if [ -z "$mode" ]; then
        problem "missing: $1"
        return 0
    fi
    case $mode in
    -*) ;;
    *) problem "not a regular file: $1 ($mode)" ;;
    esac
    if [ "${2:-}" = x ]; then
        case $mode in
        ???x??x??x) ;;
        *) problem "not executable by everyone: $1 ($mode)" ;;
        esac
    fi
}

need_file /usr/bin/dirquill x
need_file /usr/bin/dirquill-db x
need_file /usr/bin/dirquill-launcher x
need_file /usr/bin/dirquill-io x
need_file '/usr/share/dirquill/澄枫文件助手V1.0软件最终用户授权使用许可协议.doc'
need_file '/usr/share/dirquill/澄枫文件助手V1.0软件使用帮助.doc'
need_file /usr/share/applications/dirquill.desktop
for size in 16 24 32 48 64 128 256; do
    need_file /usr/share/icons/hicolor/${size}x$size/apps/dirquill.png
done
need_file /usr/share/icons/hicolor/scalable/apps/dirquill.svg
need_file /usr/share/doc/dirquill/copyright
need_file /usr/share/doc/dirquill/changelog.gz
for page in dirquill dirquill-db dirquill-launcher dirquill-io; do
    need_file /usr/share/man/man1/$page.1.gz
done
need_file /usr/share/man/zh_CN/man1/dirquill.1.gz
need_file /usr/share/metainfo/invalid.dirquill.dirquill.metainfo.xml

package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
[ "$package" = dirquill ] || problem "Package is '$package', expected 'dirquill'"
[ "$version" = "$expected_version" ] || problem "Version is '$version', expected '$expected_version'"
recommends=$(dpkg-deb -f "$deb" Recommends)
for wanted in udisks2 ntfs-3g; do
    printf '%s\n' "$recommends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$wanted" ||
        problem "Recommends '$recommends' lacks $wanted"
done

# Informational tags are shown but do not fail the check, except a missing hardening.
lintian_ok=true
lintian_tags=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || lintian_ok=false
printf '%s\n' "$lintian_tags" >&2
$lintian_ok || problem "lintian reports errors or warnings"
if printf '%s\n' "$lintian_tags" | grep -q 'hardening-'; then
    problem "lintian reports missing hardening"
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
# Every program the package carries has all of Debian's protections.
for program in "$unpacked"/usr/bin/*; do
    if file -b "$program" | grep -q '^ELF' && ! hardening-check "$program" >&2; then
        problem "hardening-check fails on ${program#"$unpacked"}"
    fi
done
if ! desktop-file-validate "$unpacked/usr/share/applications/dirquill.desktop" >&2; then
    problem "desktop-file-validate rejects the desktop entry"
fi
for metainfo in "$unpacked"/usr/share/metainfo/*.xml; do
    [ -f "$metainfo" ] || continue
    if ! appstreamcli validate --no-net "$metainfo" >&2; then
        problem "appstreamcli rejects ${metainfo#"$unpacked"}"
    fi
done

if [ "$problems" -ne 0 ]; then
    echo "$deb: $problems problem(s)" >&2
    exit 1
fi
echo "$deb: ok"
