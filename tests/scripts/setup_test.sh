#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# scripts/setup.sh with stubs on PATH in place of dpkg-query, id, sudo and
# apt-get: what it installs and through what, and, where it is neither root
# nor allowed to use sudo, the one line that says what to run as root.
# The stubs' text expands when they run, not here:
# shellcheck disable=SC2016
set -eu
setup=$(cd "$(dirname "$0")/../.." && pwd)/scripts/setup.sh
work=$(mktemp -d /tmp/quillon-setup-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
stubs="$work/bin"
mkdir "$stubs"
ln -s "$(command -v grep)" "$stubs/grep"
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$stubs/$1" && chmod +x "$stubs/$1"; }
# dpkg-query -W -f=... <package>: notes each package asked about; those named in MISSING are not installed.
stub dpkg-query 'for p; do :; done; echo "$p" >>"$WORK/asked"
case " $MISSING " in *" $p "*) exit 1 ;; esac; echo "install ok installed"'
stub id '[ "$1" = -u ] && echo "$STUB_UID"'
stub apt-get 'echo "apt-get $*" >>"$WORK/ran"'
sudo_stub='[ "$1" = -v ] && exit "$SUDO_REFUSES"; echo "sudo $1" >>"$WORK/ran"; exec "$@"'

failures=0
# check NAME UID SUDO(none|refuses|allows) MISSING STATUS RAN: runs `setup.sh program`
# and compares its status and what it ran through apt-get, one "via command" per line.
check() {
  name=$1 uid=$2 sudo=$3 missing=$4 expected_status=$5 expected_ran=$6
  rm -f "$stubs/sudo" "$work/ran" "$work/asked"
  : >"$work/ran"
  [ "$sudo" = none ] || stub sudo "$sudo_stub"
  status=0
  env -i PATH="$stubs" WORK="$work" STUB_UID="$uid" MISSING="$missing" \
    SUDO_REFUSES="$([ "$sudo" = refuses ] && echo 1 || echo 0)" \
    /bin/sh "$setup" program >"$work/out" 2>"$work/err" || status=$?
  ran=$(tr '\n' '|' <"$work/ran")
  if [ "$status" != "$expected_status" ] || [ "$ran" != "$expected_ran" ]; then
    echo "FAIL $name: status $status (expected $expected_status), ran '$ran' (expected '$expected_ran')" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
}

# Nothing missing: nothing runs, whoever asks. The packages asked about are the program's own.
check "nothing missing" 1000 none "" 0 ""
first=$(head -n 1 "$work/asked")
last=$(tail -n 1 "$work/asked")
both="$first $last"
install="install -y -q --no-install-recommends $first $last"
check "root" 0 none "$both" 0 "apt-get update -q|apt-get $install|"
check "sudo allowed" 1000 allows "$both" 0 "sudo apt-get|apt-get update -q|sudo apt-get|apt-get $install|"
for sudo in none refuses; do
  check "user, sudo $sudo" 1000 "$sudo" "$both" 1 ""
  # One line, naming the missing packages and the command to run as root.
  if [ "$(wc -l <"$work/err")" -ne 1 ] ||
     ! grep -qF "$first $last; as root, run: apt-get install --no-install-recommends $first $last" "$work/err"; then
    echo "FAIL user, sudo $sudo: said:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] && echo "setup.sh: all cases passed"
exit "$failures"
