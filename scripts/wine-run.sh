#!/usr/bin/env bash
# wine-run.sh [--prefix DIR] [--display[=:N]] [--timeout SECS] [--driver CMD] [--keep-prefix] [--] EXE ARGS...
#
# Runs a Windows program under Wine and returns its exit code.
#
#   --prefix DIR   the Wine prefix to use; made from the template (scripts/wine-prefix.sh) when DIR
#                  does not exist. Without it a fresh temporary prefix is made under
#                  <repo>/build/wine-tmp/ and removed afterwards (unless --keep-prefix).
#   --display      start Xvfb (-screen 0 1024x768x24, or KORVEL_SCREEN) on a free display number, run the program on
#                  it, and stop that Xvfb (by its PID) at the end. --display=:N uses the running
#                  display :N instead and starts nothing. Without --display, DISPLAY is unset, so a
#                  program that opens a window fails instead of showing it on a developer's screen.
#   --timeout SECS end the program (and its wineserver) after SECS seconds; exit code 124.
#                  Default 600.
#   --driver CMD   run `bash -c CMD` alongside the program, once it has started, with DISPLAY,
#                  WINEPREFIX and KORVEL_WINE_PID (a process that lives as long as the program) exported: a UI test
#                  drives the windows with xdotool and takes screenshots there. wine-run waits for
#                  the program, then for the driver. When the driver fails and the program did not,
#                  the exit code is 97.
#   --keep-prefix  keep the temporary prefix (its path is printed).
#
# Environment: KORVEL_WINEARCH (win64, the default, or win32) is the kind of Windows a new prefix
# is made as (scripts/wine-prefix.sh). KORVEL_WINE is the loader: /usr/lib/wine/wine64 by default
# on win64, /usr/lib/wine/wine on win32; set it to /usr/lib/wine/wine to run a 32-bit program in
# a win64 prefix (it hands 64-bit programs on to wine64). LC_ALL defaults to zh_CN.UTF-8 (Wine then gives GetACP() 936); set
# LC_ALL=en_US.UTF-8 for an English Windows (1252). When that locale is not installed, a copy of
# C.utf8 under its name (in <repo>/build/wine-locales, via LOCPATH) keeps Unix file names UTF-8. WINEDEBUG defaults to -all. WINEDLLOVERRIDES
# defaults to "mscoree,mshtml=;winemenubuilder.exe=d".
#
# The program's standard output and error go to files (a pipe from Wine never closes: its services
# inherit it) and are printed, to our standard output and error, once the program has ended. The
# prefix's wineserver is then ended with `wineserver -k` for that WINEPREFIX only.
#
# Windows paths: Wine maps Z:\ to /, so Z:\work\main\tests\fixtures\... names a file of the tree.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ "${KORVEL_WINEARCH:-win64}" == win32 ]]; then
    wine=${KORVEL_WINE:-/usr/lib/wine/wine}
else
    wine=${KORVEL_WINE:-/usr/lib/wine/wine64}
fi
wineserver=${KORVEL_WINESERVER:-/usr/lib/wine/wineserver}

prefix=""
display_mode=""     # "", auto, or a display name
timeout_s=600
driver=""
keep=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --prefix) prefix=$2; shift 2 ;;
        --prefix=*) prefix=${1#--prefix=}; shift ;;
        --display) display_mode=auto; shift ;;
        --display=*) display_mode=${1#--display=}; shift ;;
        --timeout) timeout_s=$2; shift 2 ;;
        --timeout=*) timeout_s=${1#--timeout=}; shift ;;
        --driver) driver=$2; shift 2 ;;
        --driver=*) driver=${1#--driver=}; shift ;;
        --keep-prefix) keep=1; shift ;;
        --) shift; break ;;
        -*) echo "wine-run: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
if [[ $# -lt 1 ]]; then
    echo "usage: $0 [--prefix DIR] [--display[=:N]] [--timeout SECS] [--driver CMD] [--keep-prefix] [--] EXE ARGS..." >&2
    exit 2
fi
exe=$1; shift

temp_prefix=0
if [[ -z "$prefix" ]]; then
    mkdir -p "$repo/build/wine-tmp"
    prefix=$(mktemp -d "$repo/build/wine-tmp/prefix.XXXXXX")
    temp_prefix=1
fi
if [[ ! -f "$prefix/system.reg" ]]; then
    bash "$repo/scripts/wine-prefix.sh" "$prefix" || exit 1
fi
prefix=$(cd "$prefix" && pwd)

logdir=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")
xvfb_pid=""
cleanup() {
    WINEPREFIX="$prefix" "$wineserver" -k >/dev/null 2>&1 || true
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if [[ $temp_prefix -eq 1 ]]; then
        if [[ $keep -eq 1 ]]; then
            echo "wine-run: kept prefix $prefix" >&2
        else
            rm -rf "$prefix"
        fi
    fi
    rm -rf "$logdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ "$display_mode" == auto ]]; then
    # -displayfd lets Xvfb pick a free display number itself: no race with other runs.
    exec 8>"$logdir/display"
    Xvfb -displayfd 8 -screen 0 "${KORVEL_SCREEN:-1024x768x24}" -nolisten tcp >"$logdir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 8>&-
    for _ in $(seq 1 100); do
        [[ -s "$logdir/display" ]] && break
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
        sleep 0.1
    done
    if [[ ! -s "$logdir/display" ]]; then
        echo "wine-run: Xvfb did not start" >&2
        cat "$logdir/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=":$(tr -dc 0-9 <"$logdir/display")"
elif [[ -n "$display_mode" ]]; then
    export DISPLAY="$display_mode"
else
    unset DISPLAY
fi

export WINEPREFIX="$prefix"
# Passed to Wine only: this shell has no such locale and would warn about it.
wine_lc_all=${LC_ALL:-zh_CN.UTF-8}
# Wine takes the code page from the locale's name, but its file names from the locale's charset:
# with no such locale installed it falls back to ASCII and cannot name a file outside ASCII. A
# copy of C.utf8 under the wanted name gives both, as on a configured machine.
wine_locpath=${LOCPATH:-}
if [[ -z "$wine_locpath" && "$wine_lc_all" == *.UTF-8 && -d /usr/lib/locale/C.utf8 ]] &&
    ! locale -a 2>/dev/null | grep -qix "${wine_lc_all/UTF-8/utf8}"; then
    wine_locpath=$repo/build/wine-locales
    if [[ ! -d "$wine_locpath/$wine_lc_all" ]]; then
        mkdir -p "$wine_locpath"
        tmp=$(mktemp -d "$wine_locpath/.new.XXXXXX")
        cp -r /usr/lib/locale/C.utf8/. "$tmp/"
        mv -T "$tmp" "$wine_locpath/$wine_lc_all" 2>/dev/null || rm -rf "$tmp"
    fi
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

LC_ALL=$wine_lc_all LOCPATH=$wine_locpath timeout --kill-after=10 "$timeout_s" "$wine" "$exe" "$@" \
    </dev/null >"$logdir/stdout" 2>"$logdir/stderr" &
wine_pid=$!

driver_rc=0
if [[ -n "$driver" ]]; then
    KORVEL_WINE_PID=$wine_pid bash -c "$driver" </dev/null &
    driver_pid=$!
fi

wait "$wine_pid"
rc=$?
if [[ -n "$driver" ]]; then
    wait "$driver_pid"
    driver_rc=$?
fi

cat "$logdir/stdout"
cat "$logdir/stderr" >&2
if [[ $rc -eq 124 ]]; then
    echo "wine-run: $exe did not end within ${timeout_s}s" >&2
fi
if [[ $driver_rc -ne 0 ]]; then
    echo "wine-run: the driver exited with $driver_rc" >&2
    [[ $rc -eq 0 ]] && rc=97
fi
exit "$rc"
