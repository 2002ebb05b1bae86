#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Proves that the built-in self-test catches a broken safety rule on its
# own. Each mutant of scripts/mutants.txt with a "self-test: " line is
# applied in turn to a copy of the tree (WORK/src; the working tree is never
# changed), the program alone is rebuilt (target quillon, incrementally),
# and its --self-test runs twice in a private fixture folder: in a home
# without any catalogue location, and in one holding one (its logs folder).
# Each run must fail: exit status 1, no output but one "Safety test failed: "
# line that matches the mutant's expected failure, and no "quillon-tests-"
# folder left behind. Exits non-zero if the unchanged program fails its
# self-test, or if any mutant is stale, does not build, passes, or fails for
# another reason.
#
# Usage: sh scripts/self-test-faults.sh [name...]   (default: every such mutant)
# WORK names the scratch folder (default: build-faults; kept, so that a later
# run rebuilds only what changed); JOBS the build parallelism (default: nproc).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
work=${WORK:-$root/build-faults}
jobs=${JOBS:-$(nproc)}
. "$root/scripts/mutant-tools.sh"

fixture=$(mktemp -d "${TMPDIR:-/tmp}/quillon-fault-XXXXXX")
trap 'rm -rf "$fixture"' EXIT
trap 'exit 130' INT TERM

echo "== building the program in $work"
copy_tree "$work" -DQUILLON_WERROR=ON -DQUILLON_PROGRAM_ONLY=ON || { cat "$work/logs/configure.log" >&2; exit 1; }
build() { cmake --build "$work/src/build" --target quillon -j "$jobs" >"$work/logs/build.log" 2>&1; }
build || { cat "$work/logs/build.log" >&2; exit 1; }

# self_test RUN [location]: runs the self-test in the fresh fixture folder
# RUN, its home holding a catalogue location when asked; leaves the exit
# status in RUN/status and the output in RUN/out and RUN/err.
self_test() {
  mkdir -p "$1/home"
  [ $# -eq 1 ] || mkdir -p "$1/home/Library/Logs"
  status=0
  in_fixture "$1" "$work/src/build/quillon" --self-test >"$1/out" 2>"$1/err" || status=$?
  echo "$status" >"$1/status"
}

# problems RUN EXPECTED: prints what is wrong with the run RUN, which should
# have failed with EXPECTED (an extended regular expression).
problems() {
  [ "$(cat "$1/status")" -eq 1 ] || printf ' exit status %s, not 1;' "$(cat "$1/status")"
  [ ! -s "$1/out" ] || printf ' standard output not empty;'
  if [ "$(wc -l <"$1/err")" -ne 1 ] || ! grep -q '^Safety test failed: ' "$1/err"; then
    printf ' standard error is not one "Safety test failed: " line;'
  elif ! grep -Eqx -- "$2" "$1/err"; then
    printf ' failed for another reason;'
  fi
  [ -z "$(find "$1/tmp" -mindepth 1 -maxdepth 1 -name 'quillon-tests-*')" ] ||
    printf ' left a quillon-tests- folder behind;'
}

self_test "$fixture/unchanged"
if [ "$(cat "$fixture/unchanged/status")" -ne 0 ]; then
  echo "the unchanged program fails its self-test:" >&2
  cat "$fixture/unchanged/out" "$fixture/unchanged/err" >&2
  exit 1
fi

echo 0 >"$work/failures"
mutants "$root/scripts/mutants.txt" | while IFS="$mutant_fields" read -r name file old new expected located; do
  [ -n "$expected" ] || continue
  [ $# -eq 0 ] || case " $* " in *" $name "*) ;; *) continue ;; esac
  echo "$name" >>"$fixture/named"
  failed=""
  cp "$work/src/$file" "$work/pristine"
  if ! mutate "$work/src/$file" "$old" "$new" 2>"$work/logs/$name.apply"; then
    failed="stale ($file: $(cat "$work/logs/$name.apply"))"
  elif ! build; then
    failed="does not build (see $work/logs/$name.build)"
    cp "$work/logs/build.log" "$work/logs/$name.build"
  fi
  cp "$work/pristine" "$work/src/$file"
  if [ -n "$failed" ]; then
    echo "FAIL $name: $failed" >&2
    echo $(($(cat "$work/failures") + 1)) >"$work/failures"
    continue
  fi
  for home in empty location; do
    run="$fixture/$name-$home"
    if [ "$home" = empty ]; then self_test "$run"; want=$expected; else self_test "$run" location; want=$located; fi
    found=$(problems "$run" "$want")
    if [ -z "$found" ]; then
      echo "ok   $name ($home home): $(cat "$run/err")"
    else
      echo "FAIL $name ($home home):$found" >&2
      sed 's/^/     stdout: /' "$run/out" >&2
      sed 's/^/     stderr: /' "$run/err" >&2
      echo $(($(cat "$work/failures") + 1)) >"$work/failures"
    fi
  done
done

for name in "$@"; do
  grep -qx -- "$name" "$fixture/named" 2>/dev/null ||
    { echo "FAIL $name: no mutant of that name with a self-test line"; echo 1 >>"$work/failures"; } >&2
done
failures=$(awk '{ sum += $1 } END { print sum }' "$work/failures")
if [ "$failures" -ne 0 ]; then
  echo "$failures self-test fault(s) were not caught as expected" >&2
  exit 1
fi
echo "every listed fault was caught by the self-test"
