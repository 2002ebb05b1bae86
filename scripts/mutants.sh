#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Mutation testing by hand (not run in CI): proves that the tests catch real
# faults. Copies the working tree into a scratch folder, builds it once, then
# for each mutant of scripts/mutants.txt replaces one exact piece of code,
# rebuilds what that touches, runs the test suite and the built-in self-test,
# and puts the file back. A mutant is "killed" when anything fails, "survived"
# when everything passes, "stillborn" when it does not compile.
#
# Usage: sh scripts/mutants.sh [name...]   (default: every mutant)
# WORK names the scratch folder (default: build-mutants); JOBS the build
# parallelism (default: nproc); TESTS a ctest regular expression that limits
# the suite to some test programs; SELF_TEST=no leaves the self-test out, to
# see what the named tests kill on their own. Each test run gets its own
# fixture folder.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
work=${WORK:-$root/build-mutants}
jobs=${JOBS:-$(nproc)}
table="$root/scripts/mutants.txt"
. "$root/scripts/mutant-tools.sh"

copy_tree "$work" -DQUILLON_BUILD_BENCH=OFF

# Runs everything that can kill a mutant; returns non-zero when anything fails.
suite() {
  cmake --build "$work/src/build" -j "$jobs" >"$1.build" 2>&1 || return 3
  fixture=$(mktemp -d "${TMPDIR:-/tmp}/quillon-mutant-XXXXXX")
  status=0
  # The self-test first: it takes a second and kills many mutants. The suite
  # stops at its first failure, since one is enough to kill a mutant.
  if [ "${SELF_TEST:-yes}" = yes ]; then
    in_fixture "$fixture" "$work/src/build/quillon" --self-test >"$1.tests" 2>&1 || status=1
  fi
  if [ "$status" -eq 0 ]; then
    (cd "$work/src/build" && ctest -j "$jobs" --stop-on-failure ${TESTS:+-R "$TESTS"}) >>"$1.tests" 2>&1 || status=1
  fi
  rm -rf "$fixture"
  return "$status"
}

echo "baseline: building and testing the unchanged tree"
suite "$work/logs/baseline" </dev/null || { echo "the unchanged tree fails its tests; see $work/logs" >&2; exit 1; }

echo "0 0 0 0" >"$work/score"
killed=0; survived=0; stillborn=0; stale=0
mutants "$table" | while IFS="$mutant_fields" read -r name file old new _expected _located; do
  [ $# -eq 0 ] || case " $* " in *" $name "*) ;; *) continue ;; esac
  cp "$work/src/$file" "$work/pristine"
  if ! mutate "$work/src/$file" "$old" "$new" 2>"$work/logs/$name.apply"; then
    echo "stale     $name ($file: $(cat "$work/logs/$name.apply"))"
    stale=$((stale + 1))
  else
    status=0
    suite "$work/logs/$name" </dev/null || status=$?
    case "$status" in
      0) echo "survived  $name"; survived=$((survived + 1)) ;;
      3) echo "stillborn $name"; stillborn=$((stillborn + 1)) ;;
      *) echo "killed    $name ($(grep -c 'Failed\|FAILED\|failed' "$work/logs/$name.tests") failure lines)"
         killed=$((killed + 1)) ;;
    esac
  fi
  cp "$work/pristine" "$work/src/$file"
  echo "$killed $survived $stillborn $stale" >"$work/score"
done
read -r killed survived stillborn stale <"$work/score"
echo "mutants: $killed killed, $survived survived, $stillborn did not build, $stale stale"
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ]
