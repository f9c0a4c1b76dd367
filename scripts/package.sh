#!/usr/bin/env bash
# package.sh [--sign CERT.pfx [--password-file FILE] [--timestamp URL]] PAYLOAD_DIR [OUT_DIR]
#
# Makes what a plug-in vendor hands to users: Korvel-Tarnwick-<version>-x86.zip and
# Korvel-Tarnwick-<version>-x64.zip in OUT_DIR (default <build root>/dist), each holding SetUp.exe
# (the release build of that edition) and Data/ (PAYLOAD_DIR as it is), and SHA256SUMS beside them.
#
#   - Builds the release presets win32-release and win64-release (only SetUp) under the build root.
#   - <version> is the exe's own version resource (resources/Version.h), as its dialog shows it.
#   - Refuses a payload holding nothing the installer would copy, or names a Chinese Windows cannot
#     hold (scripts/package.py says which and why).
#   - Names are stored in UTF-8 with the zip's language-encoding flag, so 说明.txt unzips as
#     说明.txt; time stamps are SOURCE_DATE_EPOCH (default: the commit's time), so a package of
#     the same commit and payload is byte for byte the same.
#   - --sign signs both exes (Authenticode, SHA-256) with osslsigncode before they are zipped. The
#     certificate's password comes from --password-file FILE or the environment variable
#     KORVEL_SIGN_PASSWORD (never from the command line, where other users could read it).
#     --timestamp URL adds a time-stamp from that server, so the signature outlives the
#     certificate.
#
# Environment: KORVEL_BUILD_ROOT (default <repo>/build), KORVEL_JOBS (default 2),
# KORVEL_SIGN_PASSWORD, SOURCE_DATE_EPOCH.
set -euo pipefail

usage() {
    echo "usage: $0 [--sign CERT.pfx [--password-file FILE] [--timestamp URL]] PAYLOAD_DIR [OUT_DIR]" >&2
    exit 2
}
cert="" password_file="" timestamp=""
args=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --sign) [[ $# -ge 2 ]] || usage; cert=$2; shift 2 ;;
        --password-file) [[ $# -ge 2 ]] || usage; password_file=$2; shift 2 ;;
        --timestamp) [[ $# -ge 2 ]] || usage; timestamp=$2; shift 2 ;;
        -h|--help) usage ;;
        -*) echo "package: unknown option $1" >&2; usage ;;
        *) args+=("$1"); shift ;;
    esac
done
[[ ${#args[@]} -ge 1 && ${#args[@]} -le 2 ]] || usage

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root=${KORVEL_BUILD_ROOT:-$repo/build}
mkdir -p "$root"
root=$(cd "$root" && pwd)
payload=${args[0]}
out=${args[1]:-$root/dist}
jobs=${KORVEL_JOBS:-2}

python3 "$repo/scripts/package.py" check-payload "$payload"
payload=$(cd "$payload" && pwd)

sign=()
if [[ -n "$cert" ]]; then
    command -v osslsigncode >/dev/null || { echo "package: --sign needs osslsigncode (scripts/setup.sh installs it)" >&2; exit 1; }
    [[ -f "$cert" ]] || { echo "package: no certificate file $cert" >&2; exit 1; }
    if [[ -n "$password_file" ]]; then
        [[ -f "$password_file" ]] || { echo "package: no password file $password_file" >&2; exit 1; }
        sign=(-readpass "$password_file")
    elif [[ -n "${KORVEL_SIGN_PASSWORD+set}" ]]; then
        # osslsigncode takes the password from a file; one only this user can read, removed at exit.
        pass_tmp=$(mktemp)
        trap 'rm -f "$pass_tmp"' EXIT
        printf '%s' "$KORVEL_SIGN_PASSWORD" >"$pass_tmp"
        sign=(-readpass "$pass_tmp")
    else
        echo "package: --sign needs the certificate's password: --password-file FILE or KORVEL_SIGN_PASSWORD" >&2
        exit 1
    fi
    [[ -n "$timestamp" ]] && sign+=(-ts "$timestamp")
fi

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 1262304000)
    export SOURCE_DATE_EPOCH
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d "$root/package.XXXXXX")
trap 'rm -rf "$stage"; [[ -n "${pass_tmp:-}" ]] && rm -f "$pass_tmp"' EXIT

zips=()
version_seen=""
for edition in x86 x64; do
    case $edition in
        x86) preset=win32-release ;;
        x64) preset=win64-release ;;
    esac
    build=$root/$preset
    echo "package: building $preset in $build"
    if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
        rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
    fi
    (cd "$repo" && cmake --preset "$preset" -B "$build" >"$stage/configure-$edition.log" 2>&1) || {
        tail -n 30 "$stage/configure-$edition.log"; echo "package: configuring $preset failed" >&2; exit 1; }
    cmake --build "$build" -j "$jobs" --target SetUp >"$stage/build-$edition.log" 2>&1 || {
        tail -n 30 "$stage/build-$edition.log"; echo "package: building $preset failed" >&2; exit 1; }
    exe=$build/resources/SetUp.exe
    version=$(python3 "$repo/scripts/package.py" version "$exe")
    if [[ -n "$version_seen" && "$version" != "$version_seen" ]]; then
        echo "package: the editions disagree about the version ($version_seen, $version)" >&2
        exit 1
    fi
    version_seen=$version
    cp "$exe" "$stage/SetUp-$edition.exe"
    if [[ ${#sign[@]} -gt 0 ]]; then
        echo "package: signing the $edition SetUp.exe"
        osslsigncode sign -pkcs12 "$cert" "${sign[@]}" -h sha256 -n "Korvel-Tarnwick setup" \
            -in "$stage/SetUp-$edition.exe" -out "$stage/SetUp-$edition.signed.exe" >"$stage/sign-$edition.log" 2>&1 || {
            cat "$stage/sign-$edition.log"; echo "package: signing failed" >&2; exit 1; }
        mv "$stage/SetUp-$edition.signed.exe" "$stage/SetUp-$edition.exe"
    fi
done

# Only once both editions are built (and signed) is anything written to OUT_DIR.
for edition in x86 x64; do
    zip_name=Korvel-Tarnwick-$version_seen-$edition.zip
    python3 "$repo/scripts/package.py" zip "$stage/SetUp-$edition.exe" "$payload" "$out/$zip_name"
    zips+=("$zip_name")
done

(cd "$out" && sha256sum "${zips[@]}" >SHA256SUMS)
echo "package: made in $out:"
(cd "$out" && for z in "${zips[@]}" SHA256SUMS; do printf '    %-40s %9s bytes\n' "$z" "$(stat -c %s "$z")"; done)
