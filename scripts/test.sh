#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Builds and runs every test: the warning-clean build and its suite, the
# built-in self-test, the same suite as an unprivileged user, the Release
# build of the program alone with its Debian package and the package's
# checks, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# the engine under ThreadSanitizer, a short run of the metadata fuzz target,
# and the faults of scripts/mutants.txt that the self-test must catch on its own.
# Each stage says how long it took, and the end repeats them all.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)
timings=""
# The README's first command leaves build/ configured for the program alone;
# the builds of the suites below say QUILLON_PROGRAM_ONLY=OFF so their tests come back.

# stage NAME COMMAND...: runs one stage and notes its duration.
stage() {
  name=$1
  shift
  echo "== $name"
  started=$(date +%s)
  "$@"
  seconds=$(($(date +%s) - started))
  echo "== $name: ${seconds} s"
  timings="$timings$(printf '%6d s  %s' "$seconds" "$name")
"
}

# With ccache, the copy of the tree that the fault stage builds (with the same
# generator and flags, in a build folder as deep below its copy) is compiled
# from the normal build's cache: paths below this folder are hashed relative to
# the build folder, and the build folder itself is not hashed.
. scripts/mutant-tools.sh
launcher=$(ccache_launcher)
[ -z "$launcher" ] || export CCACHE_BASEDIR="$(pwd)" CCACHE_NOHASHDIR=true
normal_build() {
  # shellcheck disable=SC2086
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON -DQUILLON_PROGRAM_ONLY=OFF $launcher
  cmake --build build -j "$jobs"
  (cd build && ctest --output-on-failure -j "$jobs")
}

# The self-test of the shipped binary, with HOME, TMPDIR and the XDG folders
# in a private folder.
self_test() {
  fixture=$(mktemp -d /tmp/quillon-selftest-XXXXXX)
  mkdir -m 700 "$fixture/home" "$fixture/tmp" "$fixture/cache"
  status=0
  HOME="$fixture/home" TMPDIR="$fixture/tmp" XDG_CACHE_HOME="$fixture/cache" XDG_CONFIG_HOME="$fixture/home/.config" \
    XDG_STATE_HOME="$fixture/home/.local/state" build/quillon --self-test || status=$?
  rm -rf "$fixture"
  return "$status"
}

# The same suite as an unprivileged user (nobody): what needs root skips with
# its reason, and nothing may fail. Each program runs from /tmp, which nobody
# may write, with nothing of this shell's environment.
unprivileged_suite() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "already running as $(id -un): the normal suite was the unprivileged run"
    return 0
  fi
  as_nobody="setpriv --reuid=nobody --regid=nogroup --clear-groups"
  if ! $as_nobody test -x "$(pwd)/build/tests/core_tests"; then
    # Changing the permissions of folders above the checkout is not this
    # script's business.
    echo "SKIPPED: nobody cannot reach $(pwd)/build; the unprivileged run needs a checkout others may read"
    return 0
  fi
  failed=0
  for program in build/tests/*_tests; do
    [ -x "$program" ] || continue
    log=$(mktemp /tmp/quillon-nobody-XXXXXX)
    if (cd /tmp && env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen $as_nobody "$OLDPWD/$program") >"$log" 2>&1
    then
      echo "ok   $(basename "$program") as nobody: $(grep -E '^\[  PASSED  \]' "$log")"
    else
      failed=1
      echo "FAIL $(basename "$program") as nobody:" >&2
      cat "$log" >&2
    fi
    rm -f "$log"
  done
  return "$failed"
}

sanitizer_build() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_WERROR=ON -DQUILLON_SANITIZE=ON \
        -DQUILLON_BUILD_BENCH=OFF -DQUILLON_PROGRAM_ONLY=OFF
  cmake --build build-asan -j "$jobs"
  (cd build-asan && ctest --output-on-failure -j "$jobs")
}

# The engine, a cancel from another thread and a short adversarial run under
# ThreadSanitizer.
thread_sanitizer_build() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON -DQUILLON_TSAN=ON \
        -DQUILLON_BUILD_APP=OFF -DQUILLON_BUILD_BENCH=OFF -DQUILLON_PROGRAM_ONLY=OFF
  cmake --build build-tsan -j "$jobs" --target engine_tests harness_tests
  (cd build-tsan && QUILLON_HARNESS_TRIALS=50 ctest --output-on-failure -R '^(engine_tests|harness_tests)$')
}

# While the suites run, another process named like a browser holds files with
# odd names open, the way other programs on a shared machine may: nothing in
# the suite may depend on what the rest of the machine runs or holds open.
odd=$(mktemp -d /tmp/quillon-odd-XXXXXX)
cp /bin/sleep "$odd/firefox-esr"
(cd "$odd" && exec sh -c 'for f; do : >"$f"; done
  exec 3<"$1" 4<"$2" 5<"$3" 6<"$4"; rm -f "$4"; exec ./firefox-esr 100000' holder \
  "caret$(printf '\001')name" "bad$(printf '\377')byte" "new
line" "gone (deleted)") </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill "$holder" 2>/dev/null; rm -rf "$odd"' EXIT
# sh runs the EXIT trap on an interrupt only when the interrupt ends it by exit.
trap 'exit 130' INT TERM

stage "licence lines of every source" sh scripts/licence-headers.sh --check
stage "normal build and suite" normal_build
stage "self-test of build/quillon" self_test
stage "suite as an unprivileged user" unprivileged_suite
stage "Release program, Debian package and its checks" env JOBS="$jobs" sh scripts/package.sh
stage "AddressSanitizer and UndefinedBehaviorSanitizer build and suite" sanitizer_build
stage "ThreadSanitizer run" thread_sanitizer_build
stage "fuzz target" sh scripts/fuzz.sh 30
stage "faults the self-test catches" env JOBS="$jobs" sh scripts/self-test-faults.sh

echo "== durations"
printf '%s' "$timings"
