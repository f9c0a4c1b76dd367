#!/usr/bin/env bash
# random-runs.sh [SECONDS]: the random tester of whole runs (tests/random) for SECONDS (default 300),
# built optimised (preset random-runs, only its target). Random starting machines, one to eight
# installs, uninstalls, kills, copy failures, logons and user edits in any order, checked against
# one invariant after every run; RapidCheck shrinks a failing case and prints it as a script (the
# machine, then the runs). At the end: the cases run, cases a second (wall clock and processor
# time), and how many cases ended at each known fault.
#
#   RC_PARAMS="seed=N"             start from that seed (each further round takes the next one)
#   RC_PARAMS="reproduce=..."      replay the shrunk case a failure printed (give SECONDS 0)
#   KORVEL_RANDOM_RUNS_KNOWN=none  report the known faults (tests/random/RandomRunsTest.cpp) too
#   KORVEL_RANDOM_RUNS_VERBOSE=1   put what each uninstall said into the printed case
#   KORVEL_BUILD_ROOT              where the build folder goes (default <repo>/build)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-300}
dir=${KORVEL_BUILD_ROOT:-$repo/build}/random-runs
cd "$repo"
cmake --preset random-runs -B "$dir" >/dev/null
cmake --build "$dir" -j "${KORVEL_JOBS:-2}" --target random_runs >/dev/null
KORVEL_RANDOM_RUNS_SECONDS=$seconds "$dir/tests/random/random_runs"
