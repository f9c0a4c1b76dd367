#!/usr/bin/env bash
# demo.sh: the setup program's main job on a demo machine, under Wine.
#
# Sets up the machine (scripts/setup.sh), builds the Windows x86_64 edition (preset win64), makes a
# fresh Wine prefix that looks like a Chinese Windows with six AutoCAD products installed
# (tests/fixtures/demo/demo.reg imported with `reg import`, host folders with their Fonts and Drv
# sub-folders created under C:\), puts a demo installation package at C:\KorvelPackage (Data\
# holding the plug-in's modules, fonts, host libraries and plot-driver file), and runs the program
# on it, printing what it prints.
#
# Environment:
#   KORVEL_BUILD_ROOT    where the build folders go (default <repo>/build); the demo's prefix is
#                        <root>/win64/demo/prefix, made afresh on each run
#   KORVEL_SKIP_SETUP=1  do not run scripts/setup.sh
#   KORVEL_DEMO_TARGET   the program's build target (default catalogue_print: discovery, printed)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root=${KORVEL_BUILD_ROOT:-$repo/build}
mkdir -p "$root"
root=$(cd "$root" && pwd)
build=$root/win64
program_target=${KORVEL_DEMO_TARGET:-catalogue_print}

if [[ "${KORVEL_SKIP_SETUP:-0}" != 1 ]]; then
    bash scripts/setup.sh </dev/null
fi

echo "== building the Windows x86_64 edition in $build"
if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake --preset win64 -B "$build" >"$root/demo-configure.log" 2>&1 || {
    tail -n 40 "$root/demo-configure.log"; echo "demo: configuring failed"; exit 1; }
if ! ninja -C "$build" -t targets all 2>/dev/null | grep -q "^$program_target\(\.exe\)\?:"; then
    echo "demo: the build has no target $program_target yet; nothing to run"
    exit 1
fi
cmake --build "$build" -j 2 --target "$program_target" >"$root/demo-build.log" 2>&1 || {
    tail -n 40 "$root/demo-build.log"; echo "demo: building $program_target failed"; exit 1; }
program=$(find "$build" -name "$program_target.exe" -type f | head -n 1)
[[ -n "$program" ]] || { echo "demo: $program_target.exe not found under $build"; exit 1; }

demo=$build/demo
prefix=$demo/prefix
echo "== making a fresh Wine prefix at $prefix"
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
for y in $(seq 2007 2025); do
    echo "demo plug-in module $y" >"$package/Data/Korvel$y.arx"
    echo "demo host library $y" >"$package/Data/ACAD$y.dll"
done
echo "demo shape font (Latin)" >"$package/Data/Korvel_EN.shx"
echo "demo shape font (Hanzi)" >"$package/Data/Korvel_HZ.shx"
echo "demo plot driver" >"$package/Data/Korvel.prt5"
echo "demo menu file" >"$package/Data/Korvel.cuix"
cp "$program" "$package/"

echo "== running $(basename "$program") under Wine (code page 936)"
set +e
bash scripts/wine-run.sh --prefix "$prefix" -- "$package/$(basename "$program")" \
    >"$demo/program.out" 2>"$demo/program.err"
rc=$?
set -e
# The program prints CP936 text; show it in UTF-8.
for f in "$demo/program.out" "$demo/program.err"; do
    if iconv -f UTF-8 -t UTF-8 "$f" >/dev/null 2>&1; then cat "$f"; else iconv -f GB18030 -t UTF-8 "$f"; fi
done
echo "== $(basename "$program") exited with $rc (prefix kept at $prefix)"
exit $rc
