#!/usr/bin/env bash
# setup.sh: installs every Debian package that building, testing and the demo need, among them
# the 32-bit Wine (wine32:i386, after adding the i386 architecture) that runs the x86 edition.
# Where the kernel starts no 32-bit programs, also QEMU's user mode from bookworm-backports
# (qemu-user-static; bookworm's own 7.2 is too slow), which then runs the 32-bit Wine
# (scripts/wine32.sh); the suite is added to apt's sources, signed by the Debian archive keyring,
# when it is missing.
# Idempotent: when all of them are present it returns at once without touching apt or dpkg. Runs
# as root; otherwise through sudo when that is available. Needs no terminal
# (DEBIAN_FRONTEND=noninteractive).
set -euo pipefail

packages=(
    build-essential cmake ninja-build g++ git python3
    clang libclang-rt-14-dev                 # fuzz targets (libFuzzer, AddressSanitizer)
    libgtest-dev libgmock-dev googletest     # native GoogleTest; its sources for the Windows builds
    libbenchmark-dev                         # benchmarks
    librapidcheck-dev                        # the random runs (tests/random)
    libtcmalloc-minimal4                     # their allocator in the optimised build
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

# The 32-bit Wine loader starts only where the kernel runs 32-bit programs (checked only once
# wine32 is there). QEMU from bookworm-backports is version 8 or later.
wine32_loader=/usr/lib/wine/wine
qemu_wanted() {
    [[ -x "$wine32_loader" ]] && ! "$wine32_loader" --version >/dev/null 2>&1
}
qemu_present() {
    local v
    v=$(dpkg-query -W -f='${Status} ${Version}' qemu-user-static 2>/dev/null) || return 1
    [[ "$v" == "install ok installed "* ]] && dpkg --compare-versions "${v##* }" ge 1:8
}

if [[ ${#missing[@]} -eq 0 && $foreign_arch -eq 0 ]] && { ! qemu_wanted || qemu_present; }; then
    echo "setup: all ${#wanted[@]} packages present$(qemu_wanted && echo ', and qemu-user-static for 32-bit Wine')"
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo -n)
else
    echo "setup: missing packages (${missing[*]:-qemu-user-static}) and neither root nor sudo" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [[ $foreign_arch -eq 1 ]]; then
    echo "setup: adding the i386 architecture"
    "${as_root[@]}" dpkg --add-architecture i386
fi
# A mirror part-way through a sync serves an index that fails its hash: try again a few times.
# When one still fails (the security suite's i386 index, say), the two architectures' candidates
# would come from different suites and never match; the installs then take every package from
# the release's own suites (bookworm, bookworm-updates), downgrading what must match.
index_failed=0
apt_update() {
    local attempt output
    output=$(mktemp)
    for attempt in 1 2 3 4; do
        "${as_root[@]}" apt-get update -q </dev/null >"$output" 2>&1 || true
        cat "$output"
        if grep -q '^E:' "$output"; then
            echo "setup: apt-get update failed (attempt $attempt)" >&2
            sleep $((attempt * 10))
            continue
        fi
        index_failed=0
        return 0
    done
    index_failed=1
}
apt_install() {
    local options=()
    if [[ $index_failed -eq 1 ]]; then
        local prefs
        prefs=$(mktemp -d)
        printf '%s\n' 'Package: *' 'Pin: release l=Debian-Security' 'Pin-Priority: 100' '' \
            'Package: *' 'Pin: release n=bookworm-updates' 'Pin-Priority: 1001' '' \
            'Package: *' 'Pin: release n=bookworm' 'Pin-Priority: 1001' >"$prefs/suites.pref"
        options=(--allow-downgrades -o "Dir::Etc::PreferencesParts=$prefs")
        echo "setup: an index could not be fetched; installing from bookworm and bookworm-updates only" >&2
    fi
    "${as_root[@]}" apt-get install -y -q "${options[@]}" "$@" </dev/null
}
updated=0
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "setup: installing ${missing[*]}"
    apt_update
    updated=1
    apt_install "${missing[@]}"
fi

if qemu_wanted && ! qemu_present; then
    echo "setup: 32-bit programs do not start here; installing qemu-user-static from bookworm-backports"
    if ! grep -rqsE '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "setup: adding bookworm-backports to apt's sources"
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            "${as_root[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
        updated=0
    fi
    [[ $updated -eq 1 ]] || apt_update
    "${as_root[@]}" apt-get install -y -q -t bookworm-backports qemu-user-static </dev/null
    qemu_present || { echo "setup: qemu-user-static 8 or later did not install" >&2; exit 1; }
fi
echo "setup: done"
