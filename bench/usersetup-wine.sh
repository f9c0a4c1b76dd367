#!/usr/bin/env bash
# usersetup-wine.sh SETUP_EXE [PROFILES]
#
# Times the per-user step (uninstall.exe /usersetup) under Wine on a user with PROFILES (default
# 20) AutoCAD profiles, as the logon would wait for it: the first run (adds the folder everywhere)
# and later runs (find it, write nothing), against a baseline in the same prefix and run: the same
# program started where no plug-in is installed, which starts, reads the registry once and ends.
# Prints each run's milliseconds and the ratios. The prefix is made under build/ and removed.
set -euo pipefail
exe=$(readlink -f "$1")
profiles=${2:-20}
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=$repo/build/usersetup-timing-prefix
rm -rf "$WINEPREFIX"
bash "$repo/scripts/wine-prefix.sh" "$WINEPREFIX"
export WINEDEBUG=-all LC_ALL=C.UTF-8
wine=${KORVEL_WINE:-/usr/lib/wine/wine64}
folder=$WINEPREFIX/drive_c/Korvel/Korvel-Tarnwick
mkdir -p "$folder" "$WINEPREFIX/drive_c/Elsewhere"
cp "$exe" "$folder/uninstall.exe"
cp "$exe" "$WINEPREFIX/drive_c/Elsewhere/uninstall.exe"
reg=$WINEPREFIX/profiles.reg
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick]\r\n'
    printf '"InstallLocation"="C:\\\\Korvel\\\\Korvel-Tarnwick"\r\n\r\n'
    for ((p = 0; p < profiles; ++p)); do
        printf '[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R24.%d\\ACAD-5101:409\\Profiles\\Profile %03d\\Variables]\r\n' $((p % 5)) $p
        printf '"TRUSTEDPATHS"="D:\\\\Support\\\\Tools 01\\\\...;D:\\\\Support\\\\Tools 02\\\\..."\r\n"ACADPREFIX"="D:\\\\Support"\r\n\r\n'
    done
} > "$reg"
"$wine" reg import "$(winepath -w "$reg" 2>/dev/null || echo "Z:${reg//\//\\}")" > /dev/null 2>&1
/usr/lib/wine/wineserver -p &  # keep the server up between runs (ended below)
sleep 1
ms() {
    local start end
    start=$(date +%s%N)
    "$wine" "$1" /usersetup > /dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
base=() first= again=()
for i in 1 2 3; do base+=("$(ms 'C:\Elsewhere\uninstall.exe')"); done
first=$(ms 'C:\Korvel\Korvel-Tarnwick\uninstall.exe')
for i in 1 2 3; do again+=("$(ms 'C:\Korvel\Korvel-Tarnwick\uninstall.exe')"); done
held=$("$wine" reg query 'HKCU\Software\Autodesk\AutoCAD\R24.0\ACAD-5101:409\Profiles\Profile 000\Variables' /v TRUSTEDPATHS 2>/dev/null | tr -d '\r' | grep -c KORVEL-TARNWICK || true)
/usr/lib/wine/wineserver -k || true
rm -rf "$WINEPREFIX"
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
b=$(median "${base[@]}") a=$(median "${again[@]}")
echo "profiles: $profiles (folder trusted afterwards: $held)"
echo "baseline (start, one read, end): ${base[*]} ms, median $b"
echo "first run: $first ms (ratio $(awk "BEGIN{printf \"%.2f\", $first/$b}"))"
echo "later runs: ${again[*]} ms, median $a (ratio $(awk "BEGIN{printf \"%.2f\", $a/$b}"))"
