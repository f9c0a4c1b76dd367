#!/usr/bin/env bash
# check-imports.sh [--objdump TOOL] [--list] EXE...
#
# Asserts that every DLL each Windows EXE imports is one of Windows' own, so that the program runs
# on a clean Windows with no redistributable installed (the builds link statically).
#
#   --objdump TOOL  the objdump that reads the EXE (default: x86_64-w64-mingw32-objdump for a PE32+
#                   file, i686-w64-mingw32-objdump for a PE32 file)
#   --list          print the imports of each EXE as well
#
# Allowed: kernel32, user32, gdi32, advapi32, shell32, comctl32, ole32, plus msvcrt.dll (the C
# run-time library that ships with every Windows since 2000; MinGW-w64's own run-time builds on
# it). Names are compared without regard to case. Refused too: functions that Windows exports as
# forwarders to a DLL that is no KnownDLL (SystemFunction036, alias RtlGenRandom, to cryptbase.dll
# on 64-bit Windows): an import of one has the loader search for that DLL as the program starts,
# beside the program first. Such functions are looked up once the DLL is loaded by its full path.
# Exit status 0 when all pass, 1 otherwise.
set -euo pipefail

allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll ole32.dll msvcrt.dll"
forwarded="SystemFunction036"

objdump=""
list=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --objdump) objdump=$2; shift 2 ;;
        --list) list=1; shift ;;
        --) shift; break ;;
        -*) echo "check-imports: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
if [[ $# -lt 1 ]]; then
    echo "usage: $0 [--objdump TOOL] [--list] EXE..." >&2
    exit 2
fi

status=0
for exe in "$@"; do
    if [[ ! -f "$exe" ]]; then
        echo "check-imports: $exe: no such file" >&2
        status=1
        continue
    fi
    tool=$objdump
    if [[ -z "$tool" ]]; then
        if x86_64-w64-mingw32-objdump -f "$exe" 2>/dev/null | grep -q 'file format pei-i386'; then
            tool=i686-w64-mingw32-objdump
        else
            tool=x86_64-w64-mingw32-objdump
        fi
    fi
    if ! dump=$("$tool" -p "$exe" 2>&1); then
        echo "check-imports: $tool cannot read $exe" >&2
        echo "$dump" >&2
        status=1
        continue
    fi
    imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' \
        | tr 'A-Z' 'a-z' | sort -u)
    if [[ -z "$imports" ]]; then
        echo "check-imports: $exe: no import table found" >&2
        status=1
        continue
    fi
    bad=()
    for dll in $imports; do
        if [[ " $allowed " != *" $dll "* ]]; then
            bad+=("$dll")
        fi
    done
    if [[ $list -eq 1 || ${#bad[@]} -gt 0 ]]; then
        echo "$exe imports: $(echo $imports)"
    fi
    for name in $forwarded; do
        if grep -qE "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$name\$" <<<"$dump"; then
            bad+=("$name (a forwarder to a DLL outside KnownDLLs)")
        fi
    done
    if [[ ${#bad[@]} -gt 0 ]]; then
        echo "check-imports: $exe imports what is not part of Windows or not safe to import: ${bad[*]}" >&2
        status=1
    else
        echo "check-imports: $exe: ok ($(echo $imports | wc -w) system DLLs)"
    fi
done
exit $status
