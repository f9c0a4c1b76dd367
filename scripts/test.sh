#!/usr/bin/env bash
# test.sh: sets up the machine (scripts/setup.sh), then builds and tests everything:
#
#   native           GCC Debug, unit tests against the doubles (ctest)
#   asan             the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win64            MinGW-w64 x86_64 build; unit and Win32 tests under Wine, import checks
#   demo             scripts/demo.sh --uninstall (the README's main job, then its uninstall) on
#                    the win64 build, then its unattended form (KORVEL_DEMO_MODE=silent), which
#                    must leave the demo machine as the dialog's install did
#   win64-bitness32  x86_64 code with the 32-bit edition's behaviour; its Wine tests
#   win32            MinGW-w64 i686 build (the product): import checks, and its unit, Win32 and
#                    end-to-end tests under 32-bit Wine, as on a 32-bit Windows (win32 prefix)
#                    and on a 64-bit one (win64 prefix). 32-bit Wine runs natively where the
#                    kernel starts 32-bit programs, else under QEMU's user mode (scripts/wine32.sh
#                    chooses, once per run; the summary names the route; under QEMU each
#                    end-to-end scenario on one kind of Windows, and on both only those where
#                    the kinds differ). Where neither starts,
#                    the summary says that they were skipped, and why; with CI=true the step fails
#   demo-x86         scripts/demo.sh with KORVEL_EDITION=x86 (the x86 build on a 32-bit Windows),
#                    on the same route (skipped, or failed with CI=true, where there is none)
#   win64-release    the shipped x86_64 build (preset win64-release: only SetUp and the UI driver):
#                    its size budget, import check and the end-to-end scenarios under Wine
#   win32-release    the shipped x86 build (preset win32-release), likewise; its scenarios on a
#                    32-bit Windows (and the 32-bit registry view on a 64-bit one), on the same
#                    route; where there is none only the size budget and the import check (and
#                    with CI=true the step fails)
#   reproducible     scripts/check-reproducible.sh: the x86 SetUp.exe built twice, compared
#   package          tests/package/package-test.sh: scripts/package.sh on the demo payload, the
#                    zips, their names and checksums, signing with a throw-away certificate
#   fuzz:<target>    each libFuzzer target for a bounded time (KORVEL_FUZZ_SECONDS, default 30)
#   random-runs      the random tester of whole runs (tests/random, preset random-runs) for a
#                    bounded time (KORVEL_RANDOM_RUNS_SECONDS, default 60); the summary gives the
#                    cases run and the first seed (RC_PARAMS="seed=N" replays from there)
#   bench            the benchmarks are built (and run when KORVEL_RUN_BENCH=1)
#
# Prints a summary and ends with the line "N passed, N failed"; exits non-zero on any failure.
# Needs no terminal and no standard input.
#
# Environment:
#   KORVEL_BUILD_ROOT    where the build folders go (default <repo>/build): <root>/<preset>
#   KORVEL_STEPS         the steps to run, by name (default: all of the above, in that order)
#   KORVEL_SKIP_SETUP=1  do not run scripts/setup.sh
#   KORVEL_FUZZ_SECONDS  seconds per fuzz target (default 30)
#   KORVEL_RANDOM_RUNS_SECONDS  seconds of random runs (default 60)
#   KORVEL_RUN_BENCH=1   also run the benchmarks
#   KORVEL_JOBS          build and test parallelism (default 2)
#   KORVEL_WINE32_LOADER Wine's own 32-bit loader (default /usr/lib/wine/wine)
#   KORVEL_WINE32        native or qemu: forces that route for 32-bit Wine (default: native where
#                        the kernel starts 32-bit programs, else qemu)
#   CI=true              an x86 step that cannot start 32-bit programs fails instead of skipping
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root=${KORVEL_BUILD_ROOT:-$repo/build}
mkdir -p "$root"
root=$(cd "$root" && pwd)
logs=$root/logs
mkdir -p "$logs"
jobs=${KORVEL_JOBS:-2}
fuzz_seconds=${KORVEL_FUZZ_SECONDS:-30}
random_seconds=${KORVEL_RANDOM_RUNS_SECONDS:-60}
steps=${KORVEL_STEPS:-native asan win64 demo win64-bitness32 win32 demo-x86 win64-release win32-release reproducible package fuzz random-runs bench}
ci=0
[[ "${CI:-}" == true ]] && ci=1

passed=0
failed=0
summary=()
failed_logs=()
started=$(date +%s)

# skipped NAME NOTE: a step that could not run here; listed, not counted.
skipped() {
    summary+=("$(printf 'SKIP  %-24s %5ss  %s' "$1" 0 "$2")")
}

# record NAME STATUS SECONDS [NOTE]
record() {
    local name=$1 status=$2 secs=$3 note=${4:-}
    if [[ $status -eq 0 ]]; then
        passed=$((passed + 1))
        summary+=("$(printf 'PASS  %-24s %5ss  %s' "$name" "$secs" "$note")")
    else
        failed=$((failed + 1))
        summary+=("$(printf 'FAIL  %-24s %5ss  %s' "$name" "$secs" "$note")")
    fi
}

# show_failure LOG: the end of a failed step's log, where the cause usually is.
show_failure() {
    failed_logs+=("$1")
    echo "---- last lines of $1 ----"
    tail -n 60 "$1"
    echo "---- end of $1 ----"
}

# configure_and_build PRESET LOG: configures the preset into <root>/<preset> and builds it.
configure_and_build() {
    local preset=$1 log=$2 dir=$root/$1
    # A folder configured with another generator cannot be reused: start it afresh.
    if [[ -f "$dir/CMakeCache.txt" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    local extra=()
    [[ "$preset" == win32 ]] && extra=(-DKORVEL_WINE32_LOADER="${wine32_run:-/usr/lib/wine/wine}")
    echo "== configure $preset" >>"$log"
    cmake --preset "$preset" -B "$dir" "${extra[@]}" >>"$log" 2>&1 || return 1
    echo "== build $preset" >>"$log"
    cmake --build "$dir" -j "$jobs" >>"$log" 2>&1 || return 1
}

# ctest_step PRESET LOG [ALLOW_NONE [CTEST_ARGS...]]: runs the preset's ctest (those of its tests
# that CTEST_ARGS select); counts the tests it ran.
ctest_note=""
ctest_step() {
    local preset=$1 log=$2 allow_none=${3:-0} dir=$root/$1
    shift 3 2>/dev/null || shift $#
    local select=("$@")
    local count
    count=$(ctest --test-dir "$dir" -N "${select[@]}" 2>/dev/null | sed -n 's/^Total Tests: //p')
    count=${count:-0}
    if [[ $count -eq 0 ]]; then
        ctest_note="no tests registered"
        [[ $allow_none -eq 1 ]] && return 0
        return 1
    fi
    echo "== ctest $preset ($count tests)" >>"$log"
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 1000 "${select[@]}" </dev/null >>"$log" 2>&1
    local rc=$?
    ctest_note=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    # Name the failed tests in the summary, so that it alone says where to look.
    local failed_names
    failed_names=$(sed -n '/^The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p' "$log" \
        | head -n 8 | tr '\n' ' ')
    [[ -n "$failed_names" ]] && ctest_note="$ctest_note; failed: $failed_names"
    return $rc
}

run_ctest_preset() {
    local preset=$1 allow_none=${2:-0}
    local log=$logs/$preset.log t0 rc
    : >"$log"
    t0=$(date +%s)
    echo ">> $preset"
    ctest_note=""
    if configure_and_build "$preset" "$log"; then
        ctest_step "$preset" "$log" "$allow_none"
        rc=$?
    else
        rc=1
        ctest_note="configure or build failed"
    fi
    [[ $rc -ne 0 ]] && show_failure "$log"
    record "$preset" $rc $(( $(date +%s) - t0 )) "$ctest_note"
}

run_fuzz() {
    local log=$logs/fuzz-build.log t0 rc dir=$root/fuzz
    : >"$log"
    t0=$(date +%s)
    echo ">> fuzz (build)"
    if ! configure_and_build fuzz "$log"; then
        show_failure "$log"
        record "fuzz:build" 1 $(( $(date +%s) - t0 )) "configure or build failed"
        return
    fi
    # Replays of the stored seeds, when any are registered.
    ctest_step fuzz "$log" 1
    rc=$?
    [[ $rc -ne 0 ]] && show_failure "$log"
    record "fuzz:build" $rc $(( $(date +%s) - t0 )) "$ctest_note"

    local exe name work seeds
    for exe in "$dir"/tests/fuzz/*_fuzz; do
        [[ -x "$exe" ]] || continue
        name=$(basename "$exe")
        log=$logs/fuzz-$name.log
        work=$dir/corpus/$name
        seeds=$repo/tests/fuzz/corpus/$name
        mkdir -p "$work" "$dir/artifacts"
        t0=$(date +%s)
        echo ">> fuzz:$name (${fuzz_seconds}s)"
        # New inputs go to the work corpus; the stored seeds stay as they are.
        local args=("$work")
        [[ -d "$seeds" ]] && args+=("$seeds")
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
            "$exe" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$dir/artifacts/$name-" "${args[@]}" \
            </dev/null >"$log" 2>&1
        rc=$?
        [[ $rc -ne 0 ]] && show_failure "$log"
        record "fuzz:$name" $rc $(( $(date +%s) - t0 )) \
            "$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1 runs/p' "$log" | tail -n 1)"
    done
}

run_random_runs() {
    local log=$logs/random-runs.log t0 rc dir=$root/random-runs note
    : >"$log"
    t0=$(date +%s)
    echo ">> random-runs (${random_seconds}s)"
    if ! { cmake --preset random-runs -B "$dir" >>"$log" 2>&1 &&
           cmake --build "$dir" -j "$jobs" --target random_runs >>"$log" 2>&1; }; then
        show_failure "$log"
        record random-runs 1 $(( $(date +%s) - t0 )) "configure or build failed"
        return
    fi
    KORVEL_RANDOM_RUNS_SECONDS=$random_seconds "$dir/tests/random/random_runs" </dev/null >>"$log" 2>&1
    rc=$?
    # "random runs: N cases in R rounds (first seed S), ..." or, failed, the seed of the round.
    note=$(sed -n 's/^random runs: \([0-9]*\) cases in [0-9]* rounds (first seed \([0-9]*\)).*/\1 cases, first seed \2/p' "$log" | tail -n 1)
    [[ $rc -ne 0 ]] && note="failed: $(grep -a -m 1 -o 'RC_PARAMS="seed=[0-9]*"' "$log")"
    [[ $rc -ne 0 ]] && show_failure "$log"
    record random-runs $rc $(( $(date +%s) - t0 )) "$note"
}

run_bench() {
    local log=$logs/bench.log t0 rc=0 dir=$root/bench
    : >"$log"
    t0=$(date +%s)
    echo ">> bench"
    local note="built"
    if ! configure_and_build bench "$log"; then
        rc=1
        note="configure or build failed"
    elif [[ "${KORVEL_RUN_BENCH:-0}" == 1 ]]; then
        local exe
        note="built and run"
        for exe in "$dir"/bench/*; do
            [[ -f "$exe" && -x "$exe" ]] || continue
            echo "== run $exe" >>"$log"
            "$exe" </dev/null >>"$log" 2>&1 || rc=1
        done
        cat "$log"
    fi
    [[ $rc -ne 0 ]] && show_failure "$log"
    record bench $rc $(( $(date +%s) - t0 )) "$note"
}

# How 32-bit Windows programs run here (scripts/wine32.sh chooses the route once per run: native,
# or 32-bit Wine under QEMU, set up in <root>/wine32-qemu), and why they cannot, if so: then
# x86_reason says why. The route is proved by cmd.exe in a 32-bit Windows prefix (made from its
# template, which is built once) giving its exit code back.
x86_checked=0
x86_reason=""
x86_route=""        # native or qemu
wine32_run=""       # the loader the x86 tests are given
x86_runtime_missing() {
    if [[ $x86_checked -eq 0 ]]; then
        x86_runtime_probe
        x86_checked=1
    fi
    echo "$x86_reason"
}
x86_runtime_probe() {
    local route out rc why
    if ! route=$(bash "$repo/scripts/wine32.sh" "$root/wine32-qemu" 2>"$logs/wine32-route.log"); then
        x86_reason=$(head -n 1 "$logs/wine32-route.log" | cut -c1-140)
        x86_reason=${x86_reason:-no route for 32-bit Wine}
        return
    fi
    read -r x86_route wine32_run _ <<<"$route"
    out=$(KORVEL_WINEARCH=win32 KORVEL_WINE=$wine32_run \
        bash "$repo/scripts/wine-run.sh" --timeout 120 -- cmd.exe /c exit 7 </dev/null 2>&1)
    rc=$?
    [[ $rc -eq 7 ]] && return
    why=$(grep -m1 -iE 'exec format|ntdll|cannot execute|not found|error' <<<"$out" | cut -c1-100)
    x86_reason="32-bit programs do not start ($x86_route route, exit $rc${why:+: $why})"
}
# The summary's name for the route.
x86_route_name() {
    case "$x86_route" in
        qemu) echo "x86 under qemu-user" ;;
        *) echo "x86 under native 32-bit Wine" ;;
    esac
}
# What the x86 tests on the route leave out: under qemu-user the x86 build runs each end-to-end
# scenario on the 32-bit Windows, and on both kinds only those where the kinds differ
# (tests/e2e/CMakeLists.txt).
x86_e2e_note() {
    [[ "$x86_route" == qemu ]] && echo ", e2e on one kind where the kinds agree"
}
# The note of an x86 step where no route starts 32-bit programs: skipped, or with CI=true failed
# (an x86 edition nobody tested must not pass).
x86_skip_note() {
    if [[ $ci -eq 1 ]]; then
        echo "x86 runtime tests CANNOT RUN (CI=true: failed): $x86_reason"
    else
        echo "x86 runtime tests SKIPPED: $x86_reason"
    fi
}

# The x86 build. Its tests run under 32-bit Wine on this machine's route; where there is none only
# its import checks run and the summary says why the rest were skipped (in CI, the step fails).
run_win32() {
    local log=$logs/win32.log t0 rc reason
    : >"$log"
    t0=$(date +%s)
    echo ">> win32"
    ctest_note=""
    x86_runtime_missing >/dev/null
    reason=$x86_reason
    if ! configure_and_build win32 "$log"; then
        rc=1
        ctest_note="configure or build failed"
    elif [[ -z "$reason" ]]; then
        ctest_step win32 "$log" 0
        rc=$?
        ctest_note="$(x86_route_name) (win32 and wow64 prefixes$(x86_e2e_note)): $ctest_note"
    else
        echo "$(x86_skip_note)" >>"$log"
        ctest_step win32 "$log" 0 -L imports
        rc=$?
        [[ $ci -eq 1 ]] && rc=1
        ctest_note="$(x86_skip_note); import checks: $ctest_note"
    fi
    [[ $rc -ne 0 ]] && show_failure "$log"
    record win32 $rc $(( $(date +%s) - t0 )) "$ctest_note"
}

# A release build (what is shipped): only SetUp and the UI driver are built; its size budget,
# import check and end-to-end scenarios run, since optimisation must not change behaviour.
run_release() {
    local preset=$1 log=$logs/$1.log t0 rc dir=$root/$1
    : >"$log"
    t0=$(date +%s)
    echo ">> $preset"
    ctest_note=""
    local select=(-R '^(e2e[.]|size_SetUp$|imports_SetUp$)' -E '^e2e[.](framework|setup_texts)')
    local where="" cannot=0
    if [[ "$preset" == win32-release ]]; then
        x86_runtime_missing >/dev/null
        if [[ -n "$x86_reason" ]]; then
            select=(-R '^(size_SetUp|imports_SetUp)$')
            where="$(x86_skip_note); "
            cannot=$ci
        else
            where="$(x86_route_name)$(x86_e2e_note); "
            # The same exe on both kinds of Windows: the scenarios once, on a 32-bit Windows; the
            # 32-bit registry view of a 64-bit one on its own.
            select=(-R '^(e2e[.].*[.]win32|e2e[.]wow64-views[.]wow64|size_SetUp|imports_SetUp)$' -E '^e2e[.](framework|setup_texts)')
        fi
    fi
    if [[ -f "$dir/CMakeCache.txt" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    local extra=()
    [[ "$preset" == win32-release ]] && extra=(-DKORVEL_WINE32_LOADER="${wine32_run:-/usr/lib/wine/wine}")
    if cmake --preset "$preset" -B "$dir" "${extra[@]}" >>"$log" 2>&1 &&
       cmake --build "$dir" -j "$jobs" --target SetUp korvel_e2e >>"$log" 2>&1; then
        ctest_step "$preset" "$log" 0 "${select[@]}"
        rc=$?
        [[ $cannot -eq 1 ]] && rc=1
        ctest_note="$where$(stat -c %s "$dir/resources/SetUp.exe") bytes; $ctest_note"
    else
        rc=1
        ctest_note="configure or build failed"
    fi
    [[ $rc -ne 0 ]] && show_failure "$log"
    record "$preset" $rc $(( $(date +%s) - t0 )) "$ctest_note"
}

# Two builds of the shipped x86 exe, from two folders at two times, must be the same bytes.
run_reproducible() {
    local log=$logs/reproducible.log t0 rc
    t0=$(date +%s)
    echo ">> reproducible"
    KORVEL_JOBS=$jobs bash "$repo/scripts/check-reproducible.sh" win32-release "$root/reproducible" </dev/null >"$log" 2>&1
    rc=$?
    [[ $rc -ne 0 ]] && show_failure "$log"
    record reproducible $rc $(( $(date +%s) - t0 )) "$(grep -m1 'bytes' "$log" | cut -c1-70)"
}

# The distributable: scripts/package.sh on the demo payload, unsigned and signed.
run_package() {
    local log=$logs/package.log t0 rc
    t0=$(date +%s)
    echo ">> package"
    KORVEL_BUILD_ROOT=$root KORVEL_JOBS=$jobs \
        bash "$repo/tests/package/package-test.sh" "$root/package-test" </dev/null >"$log" 2>&1
    rc=$?
    [[ $rc -ne 0 ]] && show_failure "$log"
    record package $rc $(( $(date +%s) - t0 )) "$(grep -c '^ok ' "$log") checks; $(tail -n 1 "$log")"
}

# The demo with the x86 edition, on the x86 route.
run_demo_x86() {
    local log=$logs/demo-x86.log t0 rc
    x86_runtime_missing >/dev/null
    if [[ -n "$x86_reason" ]]; then
        if [[ $ci -eq 1 ]]; then
            record demo-x86 1 0 "x86 demo CANNOT RUN (CI=true: failed): $x86_reason"
        else
            skipped demo-x86 "x86 demo skipped: $x86_reason"
        fi
        return
    fi
    t0=$(date +%s)
    echo ">> demo-x86"
    KORVEL_EDITION=x86 KORVEL_WINE=$wine32_run KORVEL_SKIP_SETUP=1 KORVEL_BUILD_ROOT=$root \
        bash "$repo/scripts/demo.sh" </dev/null >"$log" 2>&1
    rc=$?
    [[ $rc -ne 0 ]] && show_failure "$log"
    record demo-x86 $rc $(( $(date +%s) - t0 )) "$(x86_route_name); $(tail -n 1 "$log" | cut -c1-60)"
}

# The README's main job must keep working: run it as a newcomer would, on the win64 build. Then
# its unattended form, which must leave the demo machine's registry and disk exactly as the
# dialog's default install left them (the demo's report after the run, compared line by line).
run_demo() {
    local log=$logs/demo.log silent=$logs/demo-silent.log t0 rc note
    t0=$(date +%s)
    echo ">> demo"
    KORVEL_SKIP_SETUP=1 KORVEL_BUILD_ROOT=$root bash "$repo/scripts/demo.sh" --uninstall </dev/null >"$log" 2>&1
    rc=$?
    note=$(tail -n 1 "$log" | cut -c1-60)
    if [[ $rc -eq 0 ]]; then
        KORVEL_DEMO_MODE=silent KORVEL_SKIP_SETUP=1 KORVEL_BUILD_ROOT=$root bash "$repo/scripts/demo.sh" \
            </dev/null >"$silent" 2>&1
        rc=$?
        report() { awk '/^== the registry afterwards/ { on = 1 } /^== (done|uninstalling)/ { on = 0 } on' "$1"; }
        if [[ $rc -ne 0 ]]; then
            log=$silent note="the unattended demo failed"
        elif [[ -z "$(report "$log")" ]] || ! diff <(report "$log") <(report "$silent") >"$logs/demo-diff.log"; then
            rc=1 log=$logs/demo-diff.log note="/S left the demo machine unlike the dialog's install"
        else
            note="$note; /S left the same"
        fi
    fi
    [[ $rc -ne 0 ]] && show_failure "$log"
    record demo $rc $(( $(date +%s) - t0 )) "$note"
}

echo "Korvel setup: tests ($(date -u '+%Y-%m-%d %H:%M:%S UTC')), build folders under $root"
if [[ "${KORVEL_SKIP_SETUP:-0}" != 1 ]]; then
    t0=$(date +%s)
    echo ">> setup"
    if bash "$repo/scripts/setup.sh" </dev/null >"$logs/setup.log" 2>&1; then
        # A prerequisite, not a suite: listed, not counted.
        summary+=("$(printf 'ok    %-24s %5ss  %s' setup $(( $(date +%s) - t0 )) "$(tail -n 1 "$logs/setup.log")")")
    else
        show_failure "$logs/setup.log"
        record setup 1 $(( $(date +%s) - t0 )) "packages missing"
    fi
fi

for step in $steps; do
    case "$step" in
        native|asan|win64) run_ctest_preset "$step" ;;
        win32) run_win32 ;;
        win64-bitness32) run_ctest_preset "$step" 1 ;;
        demo) run_demo ;;
        demo-x86) run_demo_x86 ;;
        win64-release|win32-release) run_release "$step" ;;
        reproducible) run_reproducible ;;
        package) run_package ;;
        fuzz) run_fuzz ;;
        random-runs) run_random_runs ;;
        bench) run_bench ;;
        *) echo "unknown step $step"; record "$step" 1 0 "unknown step" ;;
    esac
done

echo
echo "Summary (logs in $logs, $(( $(date +%s) - started ))s in all):"
printf '  %s\n' "${summary[@]}"
# The failed checks themselves, last, where a shortened copy of this output still shows them.
for log in "${failed_logs[@]}"; do
    grep -E '^FAIL |Failure$|\*\*\*(Failed|Timeout|Exception)' "$log" | head -n 12 | sed "s|^|  $(basename "$log"): |"
done
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
