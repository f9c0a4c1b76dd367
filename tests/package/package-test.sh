#!/usr/bin/env bash
# package-test.sh WORK_DIR: scripts/package.sh as a vendor uses it, on the demo payload.
#
#   refusals   a payload with nothing the installer would copy (only SetUp.exe and the two fonts,
#              in any letter case, and a sub-folder), a missing folder, a name outside code page
#              936 and two names one file on Windows: each refused with its reason, no zip made
#   zips       both editions' zips hold exactly SetUp.exe and Data/ with the payload; the exe is of
#              its edition (PE machine) and the zip's name carries the exe's version resource;
#              说明.txt is stored as UTF-8 with the language-encoding flag and comes out right with
#              Python's zipfile and with unzip (UTF-8 and C locales); SHA256SUMS checks out; a
#              second run gives byte-identical zips
#   signing    a throw-away self-signed certificate (made here with openssl, removed at the end):
#              --sign signs both exes, `osslsigncode verify` accepts them when it trusts that
#              certificate; a wrong password fails and makes no zip; the signed exes still run
#              under Wine (`SetUp.exe /uninstall /S` in a fresh prefix ends with 12, "not installed";
#              the x86 one on this machine's route for 32-bit Wine, scripts/wine32.sh; where
#              there is none it is skipped, and with CI=true that fails)
#
# Environment: KORVEL_BUILD_ROOT (the release builds, shared with the test run), KORVEL_WINE32,
# KORVEL_WINE32_LOADER (scripts/wine32.sh), CI.
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 WORK_DIR" >&2; exit 2; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
payload=$repo/tests/fixtures/demo/payload
package=$repo/scripts/package.sh
root=${KORVEL_BUILD_ROOT:-$repo/build}
wine32_loader=""
if route=$(bash "$repo/scripts/wine32.sh" "$root/wine32-qemu" 2>/dev/null); then
    read -r _ wine32_loader _ <<<"$route"
fi
failures=0
ok() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() {  # check WHAT COMMAND...
    local what=$1; shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}

# --- refusals ---
refused() {  # refused NAME PAYLOAD EXPECTED_TEXT
    local out=$work/refused-$1
    if bash "$package" "$2" "$out" >"$work/refused-$1.log" 2>&1; then
        fail "$1: accepted"
    elif ! grep -q -- "$3" "$work/refused-$1.log"; then
        fail "$1: refused without saying \"$3\": $(tail -n 1 "$work/refused-$1.log")"
    elif compgen -G "$out/*.zip" >/dev/null; then
        fail "$1: refused, but a zip was made"
    else
        ok "$1: refused ($(tail -n 1 "$work/refused-$1.log" | cut -c1-90)...)"
    fi
}
mkdir -p "$work/only-skipped/sub"
for name in setup.EXE KORVEL_en.SHX korvel_HZ.shx; do echo x >"$work/only-skipped/$name"; done
echo x >"$work/only-skipped/sub/Korvel2010.arx"
refused nothing-to-copy "$work/only-skipped" "nothing the installer would copy"
refused no-folder "$work/does-not-exist" "is not a folder"
mkdir -p "$work/beyond"
cp "$payload/Korvel2010.arx" "$work/beyond/"
echo x >"$work/beyond/Jörg-😀.txt"
refused beyond-code-page "$work/beyond" "outside code page 936"
mkdir -p "$work/case"
cp "$payload/Korvel2010.arx" "$work/case/"
cp "$payload/Korvel2010.arx" "$work/case/KORVEL2010.ARX"
refused same-on-windows "$work/case" "name the same file on Windows"

# --- zips ---
if ! bash "$package" "$payload" "$work/dist" >"$work/package.log" 2>&1; then
    cat "$work/package.log"
    echo "package-test: packaging the demo payload failed"
    exit 1
fi
cat "$work/package.log"
python3 - "$work/dist" "$payload" "$repo/scripts/package.py" <<'PY' || failures=$((failures + 1))
import os, struct, subprocess, sys, zipfile
dist, payload, package_py = sys.argv[1:4]
bad = 0
def report(ok, what):
    global bad
    print(("ok   " if ok else "FAIL ") + what)
    bad += not ok
zips = sorted(n for n in os.listdir(dist) if n.endswith(".zip"))
report(len(zips) == 2, "two zips: %s" % zips)
wanted = {"SetUp.exe", "Data/"} | {"Data/" + n for n in os.listdir(payload)}
for name in zips:
    edition = name.rsplit("-", 1)[1][:-4]
    with zipfile.ZipFile(os.path.join(dist, name)) as z:
        names = set(z.namelist())
        report(names == wanted, "%s holds exactly SetUp.exe and Data/ with the payload" % name)
        exe = z.read("SetUp.exe")
        machine = struct.unpack_from("<H", exe, struct.unpack_from("<I", exe, 0x3C)[0] + 4)[0]
        report(machine == {"x86": 0x14C, "x64": 0x8664}.get(edition), "%s: SetUp.exe is the %s edition" % (name, edition))
        path = os.path.join(dist, name + ".SetUp.exe")
        open(path, "wb").write(exe)
        version = subprocess.run([sys.executable, package_py, "version", path],
                                 capture_output=True, text=True).stdout.strip()
        report(bool(version) and name == "Korvel-Tarnwick-%s-%s.zip" % (version, edition),
               "%s: named after the exe's version resource (%s)" % (name, version))
        info = z.getinfo("Data/说明.txt")
        report(info.flag_bits & 0x800 != 0, "%s: Data/说明.txt stored in UTF-8 with the language-encoding flag" % name)
        report(z.read(info) == open(os.path.join(payload, "说明.txt"), "rb").read(), "%s: 说明.txt as in the payload" % name)
sys.exit(1 if bad else 0)
PY
for zip in "$work"/dist/*.zip; do
    for locale in C.UTF-8 C; do
        out=$work/unzipped-$locale-$(basename "$zip" .zip)
        mkdir -p "$out"
        if ! LC_ALL=$locale unzip -q "$zip" -d "$out" >"$out.log" 2>&1; then
            fail "unzip ($locale) $(basename "$zip"): $(head -n 1 "$out.log")"
        else
            check "unzip ($locale) $(basename "$zip"): Data/ comes out as the payload, 说明.txt by its name" \
                diff -r "$payload" "$out/Data"
        fi
    done
done
check "SHA256SUMS checks out" bash -c "cd '$work/dist' && sha256sum --quiet -c SHA256SUMS"
check "SHA256SUMS names both zips" bash -c "[[ \$(wc -l <'$work/dist/SHA256SUMS') -eq 2 ]]"
sleep 1
bash "$package" "$payload" "$work/dist-again" >/dev/null 2>&1
check "a second package is byte for byte the same" bash -c "cmp '$work/dist/SHA256SUMS' '$work/dist-again/SHA256SUMS'"

# --- signing ---
certs=$work/throwaway-cert
mkdir -p "$certs"
trap 'rm -rf "$certs"' EXIT
export KORVEL_SIGN_PASSWORD="test-$$-$RANDOM"
if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Korvel-Tarnwick test signing" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
        -keyout "$certs/key.pem" -out "$certs/cert.pem" >"$certs/openssl.log" 2>&1 ||
   ! openssl pkcs12 -export -inkey "$certs/key.pem" -in "$certs/cert.pem" -out "$certs/sign.pfx" \
        -passout env:KORVEL_SIGN_PASSWORD >>"$certs/openssl.log" 2>&1; then
    cat "$certs/openssl.log"
    fail "making a throw-away certificate"
else
    if KORVEL_SIGN_PASSWORD=wrong bash "$package" --sign "$certs/sign.pfx" "$payload" "$work/signed-wrong" >"$work/signed-wrong.log" 2>&1; then
        fail "a wrong password is refused"
    else
        check "a wrong password is refused, and no zip made" bash -c "! compgen -G '$work/signed-wrong/*.zip' >/dev/null"
    fi
    if ! bash "$package" --sign "$certs/sign.pfx" "$payload" "$work/signed" >"$work/signed.log" 2>&1; then
        cat "$work/signed.log"
        fail "packaging with --sign"
    else
        for zip in "$work"/signed/*.zip; do
            edition=$(basename "$zip" .zip); edition=${edition##*-}
            dir=$work/signed-$edition
            mkdir -p "$dir" && unzip -q "$zip" SetUp.exe -d "$dir"
            check "$edition: osslsigncode verify accepts the signature (trusting the throw-away certificate)" \
                bash -c "osslsigncode verify -CAfile '$certs/cert.pem' -in '$dir/SetUp.exe' >'$dir/verify.log' 2>&1"
            check "$edition: and without that trust it does not" \
                bash -c "! osslsigncode verify -CAfile /etc/ssl/certs/ca-certificates.crt -in '$dir/SetUp.exe' >/dev/null 2>&1"
            case $edition in
                x64) env=(KORVEL_WINEARCH=win64 KORVEL_WINE=/usr/lib/wine/wine64) ;;
                x86) env=(KORVEL_WINEARCH=win32 KORVEL_WINE=$wine32_loader)
                     if [[ -z "$wine32_loader" ]] || ! { KORVEL_WINEARCH=win32 KORVEL_WINE=$wine32_loader \
                             bash "$repo/scripts/wine-run.sh" --timeout 120 -- cmd.exe /c exit 7 \
                             >/dev/null 2>&1 </dev/null; [[ $? -eq 7 ]]; }; then
                         if [[ "${CI:-}" == true ]]; then
                             fail "x86: the signed exe runs (32-bit programs do not start here)"
                         else
                             echo "skip x86: the signed exe is not run, 32-bit programs do not start here"
                         fi
                         continue
                     fi ;;
            esac
            env "${env[@]}" bash "$repo/scripts/wine-run.sh" --timeout 120 -- "$dir/SetUp.exe" /uninstall /S \
                >"$dir/smoke.log" 2>&1 </dev/null
            rc=$?
            check "$edition: the signed SetUp.exe /uninstall /S runs under Wine and ends with 12 (not installed), got $rc" \
                test "$rc" -eq 12
        done
    fi
fi

echo "package-test: $failures failure(s)"
[[ $failures -eq 0 ]]
