#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Installs, from Debian 12's own archive, everything Quillon needs to build,
# test, package and run. Packages already present are left as they are;
# installing missing ones needs root or sudo.
#   sh scripts/setup.sh           everything
#   sh scripts/setup.sh program   only what building and running the program needs
#   sh scripts/setup.sh package   that, and what installing it and making its package need
set -eu

program="
  build-essential cmake pkg-config
  libicu-dev libplist-dev
  qt6-base-dev libxcb1-dev
"
# Installing renders the PNG icons from the SVG; CPack computes the package's
# dependencies with dpkg-shlibdeps, which it runs through file.
package="librsvg2-bin dpkg-dev file"
# The tests (the window's tests use Qt's offscreen platform), the fuzz target,
# and the checks of the package: lintian, the validators of the desktop entry
# and the metainfo, groff and man for the man page; setpriv (util-linux) runs
# the tests that need an unprivileged user; ccache makes the rebuilds of the
# faults the self-test must catch incremental.
checks="
  ccache
  qt6-qpa-plugins
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-dev
  lintian desktop-file-utils appstream groff-base man-db
  util-linux
"

case "${1:-}" in
  program) packages=$program ;;
  package) packages="$program $package" ;;
  "") packages="$program $package $checks" ;;
  *) echo "usage: sh scripts/setup.sh [program | package]" >&2; exit 2 ;;
esac

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  # Installing needs root: as root directly, otherwise through sudo where
  # this user may use it (sudo -v asks for the password when it needs one).
  # Without either, say what to run as root instead of failing half-way.
  SUDO=
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1 || ! sudo -v; then
      echo "Missing Debian packages:$missing; as root, run: apt-get install --no-install-recommends$missing" >&2
      exit 1
    fi
    SUDO=sudo
  fi
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
