#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Proves that the built-in self-test catches a broken safety rule. Builds the
# test-only fault variants of the program (target fault_variants: the
# program again with one rule switched off each, never installed) in one
# build tree, runs each one's --self-test in a private fixture folder, and
# requires it to fail: exit status 1, no output but the expected
# "Safety test failed: " line, and no "quillon-tests-" folder left behind.
# Exits non-zero if any variant passes or fails for another reason.
#
# Usage: sh scripts/fault-variants.sh [fault...]   (default: all five)
# BUILD names the build tree (default: build-faults, configured here when it
# is not yet; an already configured tree only compiles the variant files and
# relinks). JOBS sets the build parallelism (default: the number of processors).
set -eu
cd "$(dirname "$0")/.."
source_dir=$(pwd)
jobs=${JOBS:-$(nproc)}
build=${BUILD:-$source_dir/build-faults}

# What each variant must report: the first check that the broken rule fails.
# $2 is "empty" for a home without any catalogue location, "location" for a
# home holding one (its logs folder).
expected() {
  case "$1" in
    acceptHardLinks)   echo 'Safety test failed: Expected a safe skip' ;;
    ignoreFutureTimes) echo 'Safety test failed: Check failed: planning "siblings" gave 2 items, not 1' ;;
    followLinks)       echo 'Safety test failed: Check failed: "recent" is gone after a folder was replaced by a link' ;;
    ignoreCancel)      echo 'Safety test failed: Removal ignored cancellation' ;;
    noStartCheck)
      if [ "$2" = location ]; then
        # The run stops at its first location, but only after taking the lock.
        echo 'Safety test failed: Check failed: a run with a cancelled token started before it stopped'
      else
        # Without any location the run never sees its token at all (unless the
        # shared temporary folder happens to hold a location of its own).
        echo 'Safety test failed: Check failed: a run with a cancelled token (did not report cancellation|started before it stopped)'
      fi ;;
    *) return 1 ;;
  esac
}

faults=${*:-"acceptHardLinks ignoreFutureTimes followLinks ignoreCancel noStartCheck"}
for fault in $faults; do
  expected "$fault" empty >/dev/null || { echo "unknown fault: $fault" >&2; exit 2; }
done

# Every run gets HOME, TMPDIR and the XDG folders of its own inside this folder.
fixture=$(mktemp -d "${TMPDIR:-/tmp}/quillon-fault-XXXXXX")
trap 'rm -rf "$fixture"' EXIT INT TERM

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== configuring $build"
  cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON \
        -DQUILLON_PROGRAM_ONLY=ON >"$fixture/configure.log" 2>&1 \
    || { cat "$fixture/configure.log" >&2; exit 1; }
fi
echo "== building the fault variants in $build"
cmake --build "$build" --target fault_variants -j "$jobs" >"$fixture/build.log" 2>&1 \
  || { cat "$fixture/build.log" >&2; exit 1; }

failures=0
for fault in $faults; do
  program="$build/quillon-$fault"
  for home in empty location; do
    run="$fixture/$fault-$home"
    mkdir -m 700 "$run" "$run/home" "$run/tmp" "$run/cache"
    [ "$home" = empty ] || mkdir -p "$run/home/Library/Logs"
    status=0
    HOME="$run/home" TMPDIR="$run/tmp" XDG_CACHE_HOME="$run/cache" XDG_CONFIG_HOME="$run/home/.config" \
      XDG_STATE_HOME="$run/home/.local/state" "$program" --self-test >"$run/out" 2>"$run/err" || status=$?

    problems=""
    [ "$status" -eq 1 ] || problems="$problems exit status $status, not 1;"
    [ ! -s "$run/out" ] || problems="$problems standard output not empty;"
    if [ "$(wc -l <"$run/err")" -ne 1 ] || ! grep -q '^Safety test failed: ' "$run/err"; then
      problems="$problems standard error is not one \"Safety test failed: \" line;"
    elif ! grep -Eqx "$(expected "$fault" "$home")" "$run/err"; then
      problems="$problems failed for another reason;"
    fi
    if [ -n "$(find "$run/tmp" -mindepth 1 -maxdepth 1 -name 'quillon-tests-*')" ]; then
      problems="$problems left a quillon-tests- folder behind;"
    fi

    if [ -z "$problems" ]; then
      echo "ok   $fault ($home home): $(cat "$run/err")"
    else
      failures=$((failures + 1))
      echo "FAIL $fault ($home home):$problems" >&2
      sed 's/^/     stdout: /' "$run/out" >&2
      sed 's/^/     stderr: /' "$run/err" >&2
    fi
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures fault variant run(s) were not caught as expected by the self-test" >&2
  exit 1
fi
echo "every fault variant was caught by the self-test"
