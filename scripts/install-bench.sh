#!/usr/bin/env bash
# install-bench.sh [ROUNDS]: times the release SetUp.exe (x86_64) against an NSIS installer that
# does the comparable job (bench/nsis/baseline.nsi), side by side under Wine in one prefix, and
# measures the file seam on its own (bench/win32/seam_bench.cpp).
#
# The payload is about 400 MB in 283 files (the demo package's files and generated ones of mixed
# sizes) at C:\Pkg\Data, with both installers beside it. Each round runs, for each installer in
# turn (the order alternates from round to round): the quiet install into C:\Korvel, its quiet
# uninstall (until the folder is gone), an install and then the same install again into the same
# folder (the second timed, and the folder's growth), and the launch to the first window; then an
# xcopy of Data, the floor. Printed: each round, the medians, and the medians of
# the ratios paired within a round with their spread. Then the dialog's slowest answer to a message
# while it installs (up to 10 rounds). Then the seam: the 165-file copy with and without the undo
# record, SHA-256 throughput of each engine, the peak memory of a 1 GiB copy.
#
# Needs makensis (Debian package nsis, in scripts/setup.sh). ROUNDS defaults to 25 (about seven
# minutes): single rounds under Wine spread by a factor of two, and nine rounds still moved the
# medians of the ratios by a tenth from run to run. Everything lives in build/install-bench (the
# prefix is kept for a look afterwards).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
rounds=${1:-25}
bench=$repo/build/install-bench
prefix=$bench/prefix

echo "== building the release edition (x86_64) and the seam bench"
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache} CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
cmake --preset win64-release >/dev/null
cmake --build build/win64-release -j 2 --target SetUp seam_bench >/dev/null
setup=build/win64-release/resources/SetUp.exe
seam=build/win64-release/tests/tools/seam_bench.exe
command -v makensis >/dev/null || { echo "install-bench: makensis is missing (apt-get install nsis)"; exit 1; }

echo "== a prefix with the demo's AutoCAD products, and the package at C:\\Pkg"
rm -rf "$bench"
mkdir -p "$bench"
makensis -V2 -DOUT="$bench/nsis-baseline.exe" bench/nsis/baseline.nsi
bash scripts/wine-prefix.sh "$prefix" >/dev/null
drive_c=$prefix/drive_c
reg_file="Z:$(echo "$repo/tests/fixtures/demo/demo.reg" | tr / '\\')"
bash scripts/wine-run.sh --prefix "$prefix" -- reg import "$reg_file" >/dev/null 2>&1
for h in "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk/AutoCAD 2010" "Program Files/Autodesk/AutoCAD 2014" \
         "Program Files/Autodesk/AutoCAD 2018" "Program Files/Autodesk/AutoCAD 2022" "Program Files/Autodesk/AutoCAD 2024"; do
    mkdir -p "$drive_c/$h/Fonts" "$drive_c/$h/Drv"
    echo "host program stand-in" >"$drive_c/$h/acad.exe"
done
data=$drive_c/Pkg/Data
mkdir -p "$data"
cp -R tests/fixtures/demo/payload/. "$data/"
cp "$setup" "$drive_c/Pkg/SetUp.exe"
cp "$bench/nsis-baseline.exe" "$drive_c/Pkg/nsis-baseline.exe"
# Up to 283 files and 400 MB: four large files and many of a few hundred KB to a few MB.
have=$(find "$data" -type f | wc -l)
left=$((283 - have))
for i in $(seq 1 "$left"); do
    if (( i <= 4 )); then size=$((60 * 1024 * 1024)); else size=$(( (160 * 1024 * 1024) / (left - 4) + (i % 7) * 4096 )); fi
    head -c "$size" /dev/urandom >"$data/Part$(printf %03d "$i").dat"
done
echo "   $(find "$data" -type f | wc -l) files, $(du -sm "$data" | cut -f1) MB"

echo "== the installers, $rounds rounds (launch timed on a virtual screen)"
bash scripts/wine-run.sh --display --prefix "$prefix" --timeout 3600 -- "$repo/$seam" installers "$rounds" | tr -d '\r' | iconv -f GB18030 -t UTF-8 -c

echo "== the dialog's answers while it installs, $(( rounds < 10 ? rounds : 10 )) rounds"
bash scripts/wine-run.sh --display --prefix "$prefix" --timeout 1800 -- "$repo/$seam" responsive $(( rounds < 10 ? rounds : 10 )) | tr -d '\r'

echo "== the file seam"
bash scripts/wine-run.sh --prefix "$prefix" --timeout 1800 -- "$repo/$seam" copy 'C:\seam-bench' "$rounds" | tr -d '\r'
bash scripts/wine-run.sh --prefix "$prefix" --timeout 600 -- "$repo/$seam" sha 256 | tr -d '\r'
bash scripts/wine-run.sh --prefix "$prefix" --timeout 600 -- "$repo/$seam" peak 'C:\seam-peak' 1024 | tr -d '\r'
