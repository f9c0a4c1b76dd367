#!/usr/bin/env bash
# wine-prefix.sh DIR
#
# Makes a ready Wine prefix at DIR (a 64-bit Windows, or a 32-bit one with KORVEL_WINEARCH=win32) (which must not exist yet, or be empty) in well under a
# second: the first call builds a template prefix with `wineboot -i` (about 10 s) and later calls
# copy it with `cp -a`, except Wine's own modules under C:\windows (dll, exe, nls, ...), which are
# hard links to the template's: a test must not write into those files in place.
#
# The template holds:
#   - no Mono or Gecko (built with WINEDLLOVERRIDES="mscoree,mshtml=", so nothing prompts);
#   - HKCU\Software\Wine\Fonts\Replacements "宋体" and "SimSun" -> "WenQuanYi Zen Hei";
#   - HKCU\Software\Wine\X11 Driver "Managed"="N", "Decorated"="N" (no window manager on Xvfb:
#     unmanaged windows close at once, and Wine draws the captions itself).
#
# Environment:
#   KORVEL_WINEARCH       win64 (default: a 64-bit Windows, running 64-bit and, with the 32-bit
#                         loader, 32-bit programs) or win32 (a 32-bit Windows: 32-bit programs only).
#   KORVEL_WINE_TEMPLATE  template folder (default: <repo>/build/wine-template, for win64 through
#                         another loader than wine64 <repo>/build/wine-template-wow64, and
#                         <repo>/build/wine-template-win32 for win32). Concurrent callers are
#                         serialised by a lock next to it, so only one builds it.
#   KORVEL_WINE           wine loader (default /usr/lib/wine/wine64 for win64; for win32 the
#                         32-bit one of this machine's route, scripts/wine32.sh; a 32-bit loader
#                         hands 64-bit programs on to wine64).
#
# Exit status: 0 when DIR is ready. Prints nothing on success except when the template is built.
set -euo pipefail

if [[ $# -ne 1 || -z "$1" ]]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
dest=$1
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${KORVEL_WINEARCH:-win64}
case "$arch" in
    win64) wine=${KORVEL_WINE:-/usr/lib/wine/wine64}
           # A 64-bit Windows for the x86 build (wow64) is made through the 32-bit route's loader,
           # which sets up its 32-bit half: where the kernel starts no 32-bit programs, wine64
           # alone leaves that half without its DLLs. So it has a template of its own.
           default_template=$repo/build/wine-template
           [[ "$wine" != /usr/lib/wine/wine64 ]] && default_template=$repo/build/wine-template-wow64
           template=${KORVEL_WINE_TEMPLATE:-$default_template} ;;
    win32) template=${KORVEL_WINE_TEMPLATE:-$repo/build/wine-template-win32}
           wine=${KORVEL_WINE:-}
           if [[ -z "$wine" ]]; then
               route=$(bash "$repo/scripts/wine32.sh")
               read -r _ wine _ <<<"$route"
           fi ;;
    *) echo "wine-prefix: KORVEL_WINEARCH must be win64 or win32, not $arch" >&2; exit 2 ;;
esac
wineserver=${KORVEL_WINESERVER:-/usr/lib/wine/wineserver}

if [[ -e "$dest" && -n "$(ls -A "$dest" 2>/dev/null)" ]]; then
    echo "wine-prefix: $dest exists and is not empty" >&2
    exit 2
fi

build_template() {
    local work="$template.build.$$"
    rm -rf "$work"
    mkdir -p "$work"
    work=$(cd "$work" && pwd)
    local log="$template.log"
    echo "wine-prefix: building the $arch template prefix $template (once)" >&2
    # Wine's services inherit standard output; keep them off any pipe of our caller.
    (
        export WINEPREFIX="$work" WINEARCH="$arch" WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        export LC_ALL=C.UTF-8
        unset DISPLAY
        "$wine" wineboot -i
        "$wineserver" -w
        # A UTF-16 file with a BOM: reg import reads a file without one as code page 936.
        local reg="$work/korvel-template.reg"
        {
            printf 'Windows Registry Editor Version 5.00\r\n\r\n'
            printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
            printf '"宋体"="WenQuanYi Zen Hei"\r\n'
            printf '"SimSun"="WenQuanYi Zen Hei"\r\n\r\n'
            printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
            printf '"Managed"="N"\r\n'
            printf '"Decorated"="N"\r\n\r\n'
        } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
        "$wine" reg import 'Z:'"$(echo "$reg" | tr / '\\')"
        "$wineserver" -w
        rm -f "$reg"
    ) >"$log" 2>&1 || {
        echo "wine-prefix: building the template failed; see $log" >&2
        tail -n 30 "$log" >&2 || true
        WINEPREFIX="$work" "$wineserver" -k >/dev/null 2>&1 || true
        rm -rf "$work"
        return 1
    }
    # Check that the registry really holds what the tests rely on, and is of the wanted kind.
    if ! grep -qx "#arch=$arch" "$work/system.reg"; then
        echo "wine-prefix: the template is not a $arch prefix; see $log" >&2
        rm -rf "$work"
        return 1
    fi
    if ! grep -q '"Managed"="N"' "$work/user.reg" || ! grep -q 'WenQuanYi Zen Hei' "$work/user.reg"; then
        echo "wine-prefix: the template's registry lacks our settings; see $log" >&2
        rm -rf "$work"
        return 1
    fi
    echo "$wine_version" >"$work/.korvel-wine-version"
    rm -rf "$template"
    mv "$work" "$template"
}

mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
flock 9
# A template from another Wine would be updated by every run made from it: build it afresh.
wine_version=$("$wine" --version 2>/dev/null || echo unknown)
if [[ ! -f "$template/system.reg" || ! -f "$template/user.reg" ||
      "$(sed -n 's/^#arch=//p' "$template/system.reg" | head -n 1)" != "$arch" ||
      "$(cat "$template/.korvel-wine-version" 2>/dev/null)" != "$wine_version" ]]; then
    build_template
fi
# Copy under a shared lock: a rebuild (exclusive) must not remove the template under a copy.
flock -s 9

mkdir -p "$(dirname "$dest")"
rmdir "$dest" 2>/dev/null || true
# Wine's system folder holds about 650 MB of built-in modules; copying them for every scenario
# costs seconds and disk. Its program files (dll, exe, nls, ...) are hard links to the template's,
# as Wine only reads them; everything else (registry, ini files, user folders) is a real copy.
cp -a --link "$template" "$dest"
(cd "$template" && find . -type f \
    -not \( -path './drive_c/windows/*' \( -name '*.dll' -o -name '*.exe' -o -name '*.nls' \
             -o -name '*.sys' -o -name '*.drv' -o -name '*.ocx' -o -name '*.cpl' -o -name '*.acm' \
             -o -name '*.tlb' -o -name '*.ds' -o -name '*.ax' -o -name '*.com' \) \) -print0) |
    while IFS= read -r -d '' f; do
        cp -a --remove-destination "$template/$f" "$dest/$f"
    done
flock -u 9
exec 9>&-
