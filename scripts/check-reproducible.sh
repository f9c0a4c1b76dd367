#!/usr/bin/env bash
# check-reproducible.sh PRESET WORK_DIR: builds SetUp.exe of a release preset twice and compares
# the two byte for byte. The second build starts from a copy of the sources in another folder,
# builds into a folder of another name and length, later (at least two seconds: any time stamp
# would differ) and with another SOURCE_DATE_EPOCH, TZ and locale, so none of them may reach the
# exe. Prints the size and SHA-256 of the exe; exits non-zero when the two differ.
set -uo pipefail
if [[ $# -ne 2 ]]; then
    echo "usage: $0 PRESET WORK_DIR" >&2
    exit 2
fi
preset=$1 work=$2
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${KORVEL_JOBS:-2}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The sources as they are in the working tree (committed or not), in a second place.
copy=$work/elsewhere/korvel-sources
mkdir -p "$copy"
(cd "$repo" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | (cd "$copy" && tar -xf -) || exit 1

build() {  # SOURCE BUILD LOG [ENV...]
    local source=$1 dir=$2 log=$3
    shift 3
    (cd "$source" && env "$@" cmake --preset "$preset" -B "$dir" >"$log" 2>&1 &&
        env "$@" cmake --build "$dir" -j "$jobs" --target SetUp >>"$log" 2>&1) || {
        tail -n 30 "$log"; echo "check-reproducible: the build in $dir failed"; return 1; }
}
first=$work/a
second=$work/a-second-build-in-a-longer-folder
build "$repo" "$first" "$work/first.log" SOURCE_DATE_EPOCH=1700000000 TZ=UTC LC_ALL=C || exit 1
sleep 2
build "$copy" "$second" "$work/second.log" SOURCE_DATE_EPOCH=1750000000 TZ=Asia/Shanghai LC_ALL=C.UTF-8 || exit 1

a=$first/resources/SetUp.exe b=$second/resources/SetUp.exe
printf '%s  %s bytes  sha256 %s\n' "$preset" "$(stat -c %s "$a")" "$(sha256sum "$a" | cut -c1-16)"
if cmp -s "$a" "$b"; then
    echo "check-reproducible: $preset: the two builds are byte for byte the same"
    exit 0
fi
echo "check-reproducible: $preset: the two builds differ; first differing bytes:"
cmp -l "$a" "$b" | head -n 10
exit 1
