#!/usr/bin/env bash
# setup.sh: installs every Debian package that building, testing and the demo need, among them
# the 32-bit Wine (wine32:i386, after adding the i386 architecture) that runs the x86 edition.
# Idempotent: when all of them are present it returns at once without touching apt or dpkg. Runs as root; otherwise
# through sudo when that is available. Needs no terminal (DEBIAN_FRONTEND=noninteractive).
set -euo pipefail

packages=(
    build-essential cmake ninja-build g++ git python3
    clang libclang-rt-14-dev                 # fuzz targets (libFuzzer, AddressSanitizer)
    libgtest-dev libgmock-dev googletest     # native GoogleTest; its sources for the Windows builds
    libbenchmark-dev                         # benchmarks
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32   # release builds (no winpthread)
    osslsigncode openssl zip unzip           # packaging: signing, a test certificate, zip checks
    wine64 wine fonts-wine                   # runs the x86_64 build
    wine32:i386                              # runs the x86 build (/usr/lib/wine/wine)
    xvfb xauth x11-apps x11-utils xdotool imagemagick   # display, window driving and screenshots
    nsis                                     # the installer scripts/install-bench.sh times against
    fonts-wqy-zenhei                         # the Chinese font that stands in for SimSun
)
wanted=("${packages[@]}")

# wine32 is an i386 package: dpkg must know the architecture before apt can find it.
foreign_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    foreign_arch=1
fi

missing=()
for p in "${wanted[@]}"; do
    if [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]]; then
        missing+=("$p")
    fi
done
if [[ ${#missing[@]} -eq 0 && $foreign_arch -eq 0 ]]; then
    echo "setup: all ${#wanted[@]} packages present"
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo -n)
else
    echo "setup: missing packages (${missing[*]}) and neither root nor sudo" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [[ $foreign_arch -eq 1 ]]; then
    echo "setup: adding the i386 architecture"
    "${as_root[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -q </dev/null
"${as_root[@]}" apt-get install -y -q "${missing[@]}" </dev/null
echo "setup: done"
