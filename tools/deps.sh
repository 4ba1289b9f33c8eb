#!/usr/bin/env bash
# Installs the Debian packages that are missing for a purpose:
#   tools/deps.sh build   compiler, CMake, Ninja, ccache, Qt 6, SQLite, CJK fonts, FUSE
#                         for the file systems the tests mount (exFAT: one that ignores
#                         case), the storage service and the file-system tools of the
#                         volume tests, the word lists and dictionaries the name tests
#                         read, trash-cli, which reads back what the trash tests trash,
#                         and the Unicode data the shown text and pinyin tables are made from
#   tools/deps.sh e2e     virtual display and accessibility bus for the end-to-end suite,
#                         and the desktop parts it runs the program with: an input method
#                         with pinyin, a Wayland compositor and Qt's plugin for it, a
#                         window manager
#   tools/deps.sh package what building and checking the Debian package needs, and valgrind
#   tools/deps.sh fuzz    clang and its libFuzzer runtime for the fuzz targets (tools/fuzz.sh)
set -euo pipefail

build_packages=(cmake build-essential ninja-build ccache pkg-config qt6-base-dev libsqlite3-dev
                fonts-noto-cjk python3 fuse3 libfuse3-dev exfatprogs exfat-fuse
                dbus udev udisks2 policykit-1 ntfs-3g e2fsprogs btrfs-progs util-linux
                wfrench wngerman wpolish wspanish wportuguese wukrainian wbulgarian
                hunspell-el hunspell-ru hunspell-cs trash-cli unicode-data)
e2e_packages=(xvfb xdotool dbus dbus-x11 at-spi2-core python3-pyatspi gir1.2-atspi-2.0
              python3-xlib fcitx5 fcitx5-chinese-addons fcitx5-frontend-qt6 weston qt6-wayland
              openbox)
package_packages=(dpkg-dev desktop-file-utils file valgrind lintian appstream librsvg2-bin)
# --- fuzz targets and the package's hardening check
fuzz_packages=(clang libclang-rt-14-dev)
package_packages+=(devscripts)
# ---

wanted=()
for purpose in "${@:-build}"; do
    case $purpose in
    build) wanted+=("${build_packages[@]}") ;;
    e2e) wanted+=("${e2e_packages[@]}") ;;
    package) wanted+=("${package_packages[@]}") ;;
    fuzz) wanted+=("${fuzz_packages[@]}") ;;
    *) echo "deps.sh: unknown purpose '$purpose' (build, e2e, package, fuzz)" >&2; exit 2 ;;
    esac
done

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
