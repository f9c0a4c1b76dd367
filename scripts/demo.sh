#!/usr/bin/env bash
# demo.sh: the setup program's main job on a demo machine, under Wine.
#
# Sets up the machine (scripts/setup.sh), builds the Windows x86_64 edition (preset win64), or with
# KORVEL_EDITION=x86 the x86 one (preset win32), makes a fresh Wine prefix that looks like a
# Chinese Windows with six AutoCAD products installed (tests/fixtures/demo/demo.reg imported with
# `reg import`, host folders with their Fonts and Drv sub-folders created under C:\), puts a demo
# installation package at C:\KorvelPackage (SetUp.exe beside Data\, which holds the demo payload
# tests/fixtures/demo/payload: the plug-in's modules, fonts, host libraries, plot-driver file and a
# read-me with a Chinese name), and
# runs SetUp.exe there on a virtual screen (Xvfb). Our UI driver (tests/e2e) plays the user: it
# prints what the dialog offers, presses Install, waits for the finished view and presses OK,
# taking screenshots on the way. Then the demo prints what the install left in the registry and on
# the disk.
#
# Environment:
#   KORVEL_EDITION       x86_64 (default: preset win64, on a 64-bit Windows) or x86 (preset win32,
#                        the 32-bit edition, on a 32-bit Windows: a WINEARCH=win32 prefix run by
#                        the 32-bit Wine, natively or under QEMU (scripts/wine32.sh; KORVEL_WINE
#                        names another loader); it offers 2007 to 2016 and hides the later releases)
#   KORVEL_BUILD_ROOT    where the build folders go (default <repo>/build); the demo's prefix is
#                        <root>/<preset>/demo/prefix, made afresh on each run, and the screenshots
#                        go to <root>/<preset>/demo/screenshots
#   KORVEL_SKIP_SETUP=1  do not run scripts/setup.sh
#   KORVEL_DEMO_MODE     gui (default): the driver plays the user at the dialog; silent: the
#                        unattended install an administrator would run (SetUp.exe /S, with its log
#                        at C:\KorvelPackage\setup.log), watched for windows, and its log shown
#
# With --uninstall, the demo then uninstalls as Programs and Features would (the driver runs the
# entry's UninstallString and answers Yes), and reports again: nothing of the plug-in is left,
# and the host's own plot driver is back.
set -euo pipefail
uninstall=0
for arg in "$@"; do
    case "$arg" in
        --uninstall) uninstall=1 ;;
        *) echo "usage: $0 [--uninstall]"; exit 2 ;;
    esac
done

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root=${KORVEL_BUILD_ROOT:-$repo/build}
mkdir -p "$root"
root=$(cd "$root" && pwd)
case "${KORVEL_EDITION:-x86_64}" in
    x86_64) preset=win64 edition_name="x86_64" windows="64-bit" ;;
    x86)    preset=win32 edition_name="x86 (32-bit)" windows="32-bit"
            # Every Wine command below (prefix, reg, the program) then runs on a 32-bit Windows.
            export KORVEL_WINEARCH=win32 ;;
    *) echo "demo: KORVEL_EDITION must be x86_64 or x86, not $KORVEL_EDITION"; exit 2 ;;
esac
build=$root/$preset

if [[ "${KORVEL_SKIP_SETUP:-0}" != 1 ]]; then
    bash scripts/setup.sh </dev/null
fi
# 32-bit Wine runs on this machine's route: natively, or under QEMU (scripts/wine32.sh).
if [[ $preset == win32 && -z "${KORVEL_WINE:-}" ]]; then
    route=$(bash scripts/wine32.sh "$root/wine32-qemu") || { echo "demo: 32-bit Wine does not start here"; exit 1; }
    read -r _ KORVEL_WINE _ <<<"$route"
    export KORVEL_WINE
fi

echo "== building the Windows $edition_name edition in $build"
if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake --preset "$preset" -B "$build" >"$root/demo-configure.log" 2>&1 || {
    tail -n 40 "$root/demo-configure.log"; echo "demo: configuring failed"; exit 1; }
cmake --build "$build" -j 2 --target SetUp korvel_e2e >"$root/demo-build.log" 2>&1 || {
    tail -n 40 "$root/demo-build.log"; echo "demo: building failed"; exit 1; }
program=$(find "$build" -name SetUp.exe -type f -not -path "*/demo/*" | head -n 1)
driver=$(find "$build" -name korvel_e2e.exe -type f | head -n 1)
[[ -n "$program" && -n "$driver" ]] || { echo "demo: SetUp.exe or korvel_e2e.exe not found under $build"; exit 1; }

demo=$build/demo
prefix=$demo/prefix
echo "== making a fresh Wine prefix ($windows Windows) at $prefix"
rm -rf "$prefix"
mkdir -p "$demo"
bash scripts/wine-prefix.sh "$prefix"
drive_c=$prefix/drive_c

echo "== importing tests/fixtures/demo/demo.reg"
reg_file="Z:$(echo "$repo/tests/fixtures/demo/demo.reg" | tr / '\\')"
bash scripts/wine-run.sh --prefix "$prefix" -- reg import "$reg_file" >"$demo/reg-import.log" 2>&1 || {
    cat "$demo/reg-import.log"; echo "demo: reg import failed"; exit 1; }

echo "== creating the host folders"
hosts=(
    "Program Files (x86)/AutoCAD 2008"
    "Program Files/Autodesk/AutoCAD 2010"
    "Program Files/Autodesk/AutoCAD 2014"
    "Program Files/Autodesk/AutoCAD 2018"
    "Program Files/Autodesk/AutoCAD 2022"
    "Program Files/Autodesk/AutoCAD 2024"
)
for h in "${hosts[@]}"; do
    mkdir -p "$drive_c/$h/Fonts" "$drive_c/$h/Drv"
    echo "host program stand-in" >"$drive_c/$h/acad.exe"
    echo "    C:\\${h//\//\\}"
done
echo "the host's own plot driver" >"$drive_c/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"

echo "== putting the demo package at C:\\KorvelPackage"
package=$drive_c/KorvelPackage
mkdir -p "$package/Data"
cp -R tests/fixtures/demo/payload/. "$package/Data/"
cp "$program" "$package/SetUp.exe"

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
# The driver's screenshots are BMP files; they are kept as PNG.
pngs() {
    for bmp in "$shots"/*.bmp; do
        [[ -e "$bmp" ]] || continue
        if command -v convert >/dev/null; then convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"; fi
    done
}
# Wine's console programs print in the console code page (936 here); show it in UTF-8.
show() { if iconv -f UTF-8 -t UTF-8 "$1" >/dev/null 2>&1; then cat "$1"; else iconv -f GB18030 -t UTF-8 "$1"; fi; }

shots=$demo/screenshots
rm -rf "$shots"
mkdir -p "$shots"
mode=${KORVEL_DEMO_MODE:-gui}
case "$mode" in
    gui) scenario=demo; how="on a virtual screen" ;;
    silent) scenario=demo-silent; how="unattended (/S), watched for windows on a virtual screen" ;;
    *) echo "demo: KORVEL_DEMO_MODE is gui or silent, not $mode"; exit 2 ;;
esac
echo "== running C:\\KorvelPackage\\SetUp.exe under Wine (code page 936) $how"
set +e
bash scripts/wine-run.sh --display --prefix "$prefix" --timeout 300 -- \
    "$driver" "$scenario" 'C:\KorvelPackage\SetUp.exe' "$(winpath "$repo/tests/e2e/fixtures")" "$(winpath "$shots")" 936 \
    >"$demo/driver.out" 2>"$demo/driver.err"
rc=$?
set -e
show "$demo/driver.out"
show "$demo/driver.err"
pngs

# What follows only reports: a failed run must still reach the last line with its exit code.
report() {
    set +e
    echo "== the registry $1: the plug-in's loader keys"
    for key in 'HKLM\SOFTWARE\Autodesk\AutoCAD' 'HKLM\SOFTWARE\Wow6432Node\Autodesk\AutoCAD'; do
        bash scripts/wine-run.sh --prefix "$prefix" -- reg query "$key" /s >"$demo/reg.out" 2>&1
        show "$demo/reg.out" | tr -d '\r' | awk '/^HKEY_/ { key = $0; next }
            key ~ /\\Applications\\Korvel/ && NF { if (key != shown) { print key; shown = key } print }'
    done
    echo "== the registry $1: trusted paths of the profiles"
    bash scripts/wine-run.sh --prefix "$prefix" -- reg query 'HKCU\Software\Autodesk\AutoCAD' /s /v TRUSTEDPATHS \
        >"$demo/reg.out" 2>&1
    show "$demo/reg.out" | tr -d '\r' | grep -E '^HKEY_|TRUSTEDPATHS' | grep -B1 TRUSTEDPATHS | grep -v '^--$'
    echo "== the registry $1: the entry in Programs and Features"
    bash scripts/wine-run.sh --prefix "$prefix" -- reg query \
        'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Korvel-Tarnwick' >"$demo/reg.out" 2>&1
    show "$demo/reg.out" | tr -d '\r' | grep -E 'DisplayName|DisplayVersion|UninstallString' || echo "    (none)"

    echo "== the disk $1: the install folder, then what the hosts' folders hold besides acad.exe"
    (cd "$drive_c" && find Korvel -type f 2>/dev/null | sort | sed 's/^/    C:\\/; s#/#\\#g')
    [[ -d "$drive_c/Korvel" ]] || echo "    (no C:\\Korvel)"
    for h in "${hosts[@]}"; do
        (cd "$drive_c" && find "$h" -type f ! -name acad.exe | sort | while read -r f; do
            printf '    C:\\%s  "%s"\n' "${f//\//\\}" "$(head -c 40 "$f")"; done)
    done
}
report afterwards

if [[ $uninstall -eq 1 && $rc -eq 0 ]]; then
    echo "== uninstalling as Programs and Features would"
    bash scripts/wine-run.sh --display --prefix "$prefix" --timeout 300 -- \
        "$driver" demo-uninstall 'C:\KorvelPackage\SetUp.exe' "$(winpath "$repo/tests/e2e/fixtures")" "$(winpath "$shots")" 936 \
        >"$demo/driver.out" 2>"$demo/driver.err"
    rc=$?
    show "$demo/driver.out"
    show "$demo/driver.err"
    pngs
    report "after the uninstall"
    if [[ $rc -eq 0 ]]; then
        left=$( (cd "$drive_c" && find Korvel "${hosts[@]}" -type f ! -name acad.exe ! -name pdfplot9.hdi 2>/dev/null) | wc -l)
        driver_file="$drive_c/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"
        if [[ $left -ne 0 || "$(cat "$driver_file")" != "the host's own plot driver" ]]; then
            echo "== the uninstall left $left file(s) of the plug-in, or did not restore the host's driver"
            rc=1
        else
            echo "== nothing of the plug-in is left, and the host's own plot driver is back"
        fi
    fi
fi

if [[ $rc -eq 0 ]]; then
    echo "== done: SetUp.exe ended with 0; screenshots in $shots, prefix kept at $prefix"
else
    echo "== the demo failed (exit $rc); screenshots in $shots, prefix kept at $prefix"
fi
exit $rc
