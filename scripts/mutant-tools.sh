# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Shared by scripts/mutants.sh and scripts/self-test-faults.sh (and, for
# ccache_launcher, scripts/test.sh), which source it from the top of the
# tree: a scratch copy of the tree to change, the mutants of
# scripts/mutants.txt, the change itself, and a run inside a private fixture
# folder. Changes are only ever made to the copy, so an
# interrupted run leaves the working tree as it was.

# ccache_launcher: prints the CMake option that compiles through ccache, or
# nothing where there is no ccache or its cache folder cannot be written
# (ccache would then fail every compile).
ccache_launcher() {
  cache=$(ccache --get-config cache_dir 2>/dev/null) || return 0
  if mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ]; then echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
}

# copy_tree WORK [cmake option...]: copies every file git knows, as it is in
# the working tree, into WORK/src (made afresh) and configures WORK/src/build
# from it, with ccache when there is one (log: WORK/logs/configure.log). The
# build folder lies one level below the copy, as build/ below the tree, so
# that with scripts/test.sh's ccache settings the copy compiles from the
# normal build's cache.
copy_tree() {
  scratch=$1
  shift
  rm -rf "$scratch/src"
  mkdir -p "$scratch/src" "$scratch/logs"
  git ls-files -z | xargs -0 cp --parents -t "$scratch/src"
  launcher=$(ccache_launcher)
  # shellcheck disable=SC2086
  cmake -S "$scratch/src" -B "$scratch/src/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher "$@" \
        >"$scratch/logs/configure.log" 2>&1
}

# The field separator of the lines that mutants prints.
mutant_fields=$(printf '\037')

# mutants TABLE: prints each mutant of TABLE (see the head of
# scripts/mutants.txt) as one line of six fields, separated by
# $mutant_fields: name, file, code, replacement, the self-test's expected
# failure (empty when none is listed), and that failure in a home holding a
# catalogue location.
mutants() {
  awk -v sep="$mutant_fields" '
    function emit() {
      print name sep file sep code sep replacement sep expected sep (located != "" ? located : expected)
    }
    /^#/ { next }
    /^= / { if (name != "") emit(); name = substr($0, 3); n = 0; expected = ""; located = ""; next }
    name == "" { next }
    n >= 3 && $0 == "" { emit(); name = ""; next }
    { n++ }
    n == 1 { file = $0 } n == 2 { code = $0 } n == 3 { replacement = $0 }
    n > 3 && index($0, "self-test: ") == 1 { expected = substr($0, 12) }
    n > 3 && index($0, "self-test with a location: ") == 1 { located = substr($0, 28) }
    END { if (name != "") emit() }' "$1"
}

# mutate FILE CODE REPLACEMENT: replaces the one occurrence of CODE in FILE
# ("\n" in either stands for a line break); fails when CODE does not occur
# exactly once, so that a stale mutant is noticed rather than skipped.
mutate() {
  OLD="$2" NEW="$3" perl -0pi -e '($old, $new) = ($ENV{OLD}, $ENV{NEW}); s/\\n/\n/g for $old, $new;
                                   $n = () = /\Q$old\E/g; die "found $n times\n" unless $n == 1;
                                   s/\Q$old\E/$new/' "$1"
}

# in_fixture DIR COMMAND...: runs COMMAND with HOME, TMPDIR and the XDG
# cache, configuration and state folders inside DIR (its home, tmp and cache
# folders are made private here; what the caller put in them stays).
in_fixture() {
  fixture_dir=$1
  shift
  mkdir -p "$fixture_dir/home" "$fixture_dir/tmp" "$fixture_dir/cache"
  chmod 700 "$fixture_dir" "$fixture_dir/home" "$fixture_dir/tmp" "$fixture_dir/cache"
  HOME="$fixture_dir/home" TMPDIR="$fixture_dir/tmp" XDG_CACHE_HOME="$fixture_dir/cache" \
    XDG_CONFIG_HOME="$fixture_dir/home/.config" XDG_STATE_HOME="$fixture_dir/home/.local/state" "$@"
}
