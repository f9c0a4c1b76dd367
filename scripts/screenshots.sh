#!/usr/bin/env bash
# screenshots.sh: takes the README's pictures afresh from the real program under Wine and puts them
# in docs/: the setup dialog and the finished view as the demo (scripts/demo.sh) shows them, the
# same two at 200 % display scaling (192 DPI) as the end-to-end scenario scaling shows them, and
# the folder browser as the scenario browse-open opens it. Run it after a change that
# shows; commit what changed. PNGs are written without time stamps, so an unchanged picture stays
# the same file.
#
# Environment: KORVEL_BUILD_ROOT (default <repo>/build), KORVEL_SKIP_SETUP=1.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root=${KORVEL_BUILD_ROOT:-$repo/build}
mkdir -p "$root"
root=$(cd "$root" && pwd)
build=$root/win64

echo "== the demo (builds the x86_64 edition, installs on the demo machine)"
KORVEL_BUILD_ROOT=$root bash scripts/demo.sh </dev/null >"$root/screenshots-demo.log" 2>&1 || {
    tail -n 30 "$root/screenshots-demo.log"; echo "screenshots: the demo failed"; exit 1; }
program=$(find "$build" -name SetUp.exe -type f -not -path "*/demo/*" -not -path "*/e2e-artifacts/*" | head -n 1)
driver=$(find "$build" -name korvel_e2e.exe -type f | head -n 1)

echo "== the folder browser (scenario browse-open)"
browse=$root/screenshots-browse
bash tests/e2e/run-scenario.sh browse-open "$driver" "$program" "$repo/tests/e2e/fixtures" "$browse" zh_CN.UTF-8 \
    >"$root/screenshots-browse.log" 2>&1 || {
    tail -n 30 "$root/screenshots-browse.log"; echo "screenshots: the browse-open scenario failed"; exit 1; }

echo "== the dialog at 192 DPI (scenario scaling)"
scaling=$root/screenshots-scaling
bash tests/e2e/run-scenario.sh scaling "$driver" "$program" "$repo/tests/e2e/fixtures" "$scaling" zh_CN.UTF-8 \
    >"$root/screenshots-scaling.log" 2>&1 || {
    tail -n 30 "$root/screenshots-scaling.log"; echo "screenshots: the scaling scenario failed"; exit 1; }

mkdir -p docs
shots=$build/demo/screenshots
while read -r from to; do
    [[ -f "$from" ]] || { echo "screenshots: $from was not taken"; exit 1; }
    convert "$from" -strip "docs/$to"
    echo "    docs/$to"
done <<LIST
$shots/1-setup-dialog.png setup-dialog.png
$shots/2-finished.png finished.png
$browse/browse-open.png folder-browser.png
$scaling/scaling-192-dialog.png setup-dialog-192dpi.png
$scaling/scaling-192-finished.png finished-192dpi.png
LIST
