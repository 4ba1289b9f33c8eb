#!/bin/sh
# Checks a built Debian package of Dirquill: the files it must hold, its
# control fields, Debian's own checks (lintian: no error and no warning) and
# the installed desktop and AppStream entries. Lists everything missing or
# wrong and exits non-zero then. Needs "tools/deps.sh package".
#
# Usage: tools/check-package.sh DEB

set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 DEB" >&2
    exit 2
fi
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

# Informational tags are shown but do not fail the check.
if ! lintian --fail-on error,warning --display-info "$deb" >&2; then
    problem "lintian reports errors or warnings"
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
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
