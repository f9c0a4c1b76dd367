#!/usr/bin/env bash
# run-scenario.sh SCENARIO DRIVER_EXE SETUP_EXE FIXTURES ARTIFACTS LOCALE
#
# Runs one end-to-end scenario: a fresh Wine prefix (from the template), Xvfb, and the test driver
# (a Windows program) that starts SetUp.exe itself and drives it. Screenshots are converted to PNG
# in ARTIFACTS. LOCALE is zh_CN.UTF-8 (code page 936) or en_US.UTF-8 (code page 1252).
set -uo pipefail
if [[ $# -ne 6 ]]; then
    echo "usage: $0 SCENARIO DRIVER_EXE SETUP_EXE FIXTURES ARTIFACTS LOCALE" >&2
    exit 2
fi
scenario=$1 driver=$2 setup=$3 fixtures=$4 artifacts=$5 locale=$6
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
case "$locale" in
    zh_CN*) codepage=936 ;;
    *) codepage=1252 ;;
esac

rm -rf "$artifacts"
mkdir -p "$artifacts"
prefix="$artifacts/prefix"

# A package whose Data folder cannot be listed: as root, only without the capabilities that
# override file permissions (Windows' own administrators cannot list such a folder either).
wrap=()
if [[ $scenario == listing-unreadable ]]; then
    mkdir -p "$artifacts/locked/Data"
    for name in Korvel2010.arx Korvel.mnu ACAD2013.dll; do echo "$name" >"$artifacts/locked/Data/$name"; done
    chmod 0311 "$artifacts/locked/Data"
    wrap=(setpriv --bounding-set -dac_override,-dac_read_search --)
fi

# The install folder and a Korvel-Tarnwick as symbolic links to folders outside the prefix:
# Wine shows them as folders that are reparse points (attributes 0x410).
if [[ $scenario == linked-folders ]]; then
    bash "$repo/scripts/wine-prefix.sh" "$prefix" >/dev/null || exit 1
    mkdir -p "$artifacts/linked/korvel" "$artifacts/linked/tarnwick" "$prefix/drive_c/Other"
    ln -s "$artifacts/linked/korvel" "$prefix/drive_c/Korvel"
    ln -s "$artifacts/linked/tarnwick" "$prefix/drive_c/Other/Korvel-Tarnwick"
fi

# DLL planting: the plant and the unprotected control, and Wine told to prefer a native DLL of
# each planted name (else it would always take its own builtin one, and nothing could be planted).
# The names are those a program loads after start-up. Not planted, because Wine itself loads them
# while any process starts, before its first instruction (its user32 imports version.dll, and
# bcrypt, crypt32 and rsaenh are loaded during start-up): a plant of those names is taken by every
# program, protected or not, and, exporting nothing, stops it.
if [[ $scenario == planted-dlls ]]; then
    tools=$(dirname "$driver")/../tools
    mkdir -p "$artifacts/plant"
    cp "$tools/planted.dll" "$tools/plant_control.exe" "$artifacts/plant/" || exit 1
    export KORVEL_PLANTED=uxtheme,dwmapi,propsys,msimg32,ntshrui,cscapi,linkinfo,profapi,cryptbase,apphelp
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;$KORVEL_PLANTED=n,b"
fi

# The README's deployment line: a share \\fileserver\logs (Wine's "unc" device folder), a drive
# D: of its own, and C:\Linked, a folder that is a link (as a user's junction would be).
if [[ $scenario == silent-log-places ]]; then
    bash "$repo/scripts/wine-prefix.sh" "$prefix" >/dev/null || exit 1
    mkdir -p "$artifacts/share/logs" "$artifacts/drive_d" "$artifacts/linked-logs" "$prefix/dosdevices/unc"
    ln -s "$artifacts/share" "$prefix/dosdevices/unc/fileserver"
    ln -s "$artifacts/drive_d" "$prefix/dosdevices/d:"
    ln -s "$artifacts/linked-logs" "$prefix/drive_c/Linked"
fi

# A package reached through a folder link (C:\pkgs\cur names real), which is pointed at another
# folder (evil) once the driver asks (the file swap-now), as a user re-points a junction of theirs.
if [[ $scenario == planted-uninstaller ]]; then
    bash "$repo/scripts/wine-prefix.sh" "$prefix" >/dev/null || exit 1
    mkdir -p "$prefix/drive_c/pkgs/real" "$prefix/drive_c/pkgs/evil"
    ln -s real "$prefix/drive_c/pkgs/cur"
    ( p=$prefix/drive_c/pkgs
      for _ in $(seq 6000); do
          if [[ -e $p/swap-now ]]; then ln -s evil "$p/next" && mv -T "$p/next" "$p/cur" && touch "$p/swapped"; break; fi
          sleep 0.1
      done ) &
    watcher=$!
fi

# At 200 % the dialog is taller than 768 pixels: a screen such scaling is used on.
if [[ $scenario == scaling ]]; then
    export KORVEL_SCREEN=1920x1440x24
fi

# wine-run.sh gives Wine a UTF-8 locale of that name when none is installed (see there).
LC_ALL=$locale "${wrap[@]}" bash "$repo/scripts/wine-run.sh" --display --prefix "$prefix" --timeout 300 -- \
    "$driver" "$scenario" "$(winpath "$setup")" "$(winpath "$fixtures")" "$(winpath "$artifacts")" "$codepage" \
    >"$artifacts/driver.log" 2>&1
rc=$?
[[ -n ${watcher:-} ]] && kill "$watcher" 2>/dev/null
cat "$artifacts/driver.log"
for bmp in "$artifacts"/*.bmp; do
    [[ -e "$bmp" ]] || continue
    if command -v convert >/dev/null; then
        convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    fi
done
[[ -d "$artifacts/locked/Data" ]] && chmod 0755 "$artifacts/locked/Data"
# The prefix is large; keep it only when the scenario failed.
if [[ $rc -eq 0 ]]; then rm -rf "$prefix"; fi
exit $rc
