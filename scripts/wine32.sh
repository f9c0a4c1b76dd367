#!/usr/bin/env bash
# wine32.sh [FOLDER]: how this machine runs 32-bit Wine, chosen once per caller and printed as one
# line "ROUTE LOADER SCALE":
#
#   native /usr/lib/wine/wine 1    the kernel starts the 32-bit loader itself
#   qemu FOLDER/lib/wine/wine 3    it does not: QEMU's user mode (qemu-i386-static, 8 or later,
#                                  from bookworm-backports; scripts/setup.sh installs it) runs it
#
# SCALE is how much longer than native a Wine program takes on that route; the harness multiplies
# its waits by it (wine-run.sh reads it from the file korvel-time-scale beside a qemu loader).
#
# The qemu route needs a folder of its own (default <repo>/build/wine32-qemu), made here once and
# checked on every call: Wine starts every new process through "<folder of the running loader>/wine"
# (wine64 for 64-bit ones) and finds ntdll.so, wineserver and its data relative to that folder,
# resolving symbolic links. So the folder mirrors /usr/lib/wine with copies of the loaders (the
# 32-bit one as wine.elf), links to wineserver, the two library folders and /usr/share/wine, and a
# script named wine that starts wine.elf under QEMU. Every 32-bit process of a prefix then stays
# under emulation, and 64-bit ones go to wine64 natively.
#
# Environment:
#   KORVEL_WINE32         native or qemu forces that route (it must still start); empty chooses
#   KORVEL_WINE32_LOADER  Wine's own 32-bit loader (default /usr/lib/wine/wine)
#
# Exit status 1, with the reason on standard error, when no route starts a 32-bit program.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder=${1:-$repo/build/wine32-qemu}
loader=${KORVEL_WINE32_LOADER:-/usr/lib/wine/wine}
want=${KORVEL_WINE32:-}
qemu_scale=3

case "$want" in
    ""|native|qemu) ;;
    *) echo "wine32: KORVEL_WINE32 is native or qemu, not $want" >&2; exit 2 ;;
esac
if [[ ! -x "$loader" ]]; then
    echo "no 32-bit Wine ($loader; package wine32:i386)" >&2
    exit 1
fi

if [[ "$want" != qemu ]] && "$loader" --version >/dev/null 2>&1; then
    echo "native $loader 1"
    exit 0
fi
if [[ "$want" == native ]]; then
    echo "the kernel does not start 32-bit programs ($loader), and KORVEL_WINE32=native" >&2
    exit 1
fi

qemu=$(command -v qemu-i386-static || true)
if [[ -z "$qemu" ]]; then
    echo "32-bit programs do not start here, and qemu-i386-static is missing (scripts/setup.sh installs it)" >&2
    exit 1
fi
bin=$(dirname "$loader")
lib=$(dirname "$bin")

# Whether the folder is there and still mirrors this Wine.
current() {
    [[ -x "$folder/lib/wine/wine" && -f "$folder/korvel-time-scale" ]] &&
        cmp -s "$folder/lib/wine/wine.elf" "$loader" && cmp -s "$folder/lib/wine/wine64" "$bin/wine64" &&
        grep -qF "$(printf '%q -0 "$0" %q' "$qemu" "$folder/lib/wine/wine.elf")" "$folder/lib/wine/wine"
}

if ! current; then
    mkdir -p "$(dirname "$folder")"
    exec 9>"$folder.lock"
    flock 9
    if ! current; then
        work=$(mktemp -d "$folder.new.XXXXXX")
        mkdir -p "$work/lib/wine" "$work/share"
        cp -p "$loader" "$work/lib/wine/wine.elf"
        cp -p "$bin/wine64" "$work/lib/wine/wine64"
        ln -s "$bin/wineserver" "$work/lib/wine/wineserver"
        ln -s "$lib/i386-linux-gnu" "$work/lib/i386-linux-gnu"
        ln -s "$lib/x86_64-linux-gnu" "$work/lib/x86_64-linux-gnu"
        ln -s /usr/share/wine "$work/share/wine"
        # -0 keeps the name Wine was started by: it finds its folder, and its children, by it.
        printf '#!/bin/sh\nexec %q -0 "$0" %q "$@"\n' "$qemu" "$folder/lib/wine/wine.elf" >"$work/lib/wine/wine"
        chmod 0755 "$work/lib/wine/wine"
        echo "$qemu_scale" >"$work/korvel-time-scale"
        rm -rf "$folder"
        mv -T "$work" "$folder"
    fi
    flock -u 9
fi

if ! out=$("$folder/lib/wine/wine" --version 2>&1); then
    echo "32-bit Wine does not start under $qemu either: $out" >&2
    exit 1
fi
echo "qemu $folder/lib/wine/wine $(cat "$folder/korvel-time-scale")"
