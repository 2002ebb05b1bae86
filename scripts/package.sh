#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Builds the program alone in Release with warnings as errors (as the README's
# first command builds it), makes the Debian package, and checks it: lintian,
# the desktop entry and metainfo validators, the man page through groff, the
# icon sizes, and a self-test of the binary unpacked into a scratch root.
# The package is left in build-package/.
set -eu
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
build="build-package"
id=com.brenvale.quillon

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=ON -DQUILLON_PROGRAM_ONLY=ON
for left_out in tests bench fuzz; do
  if [ -e "$build/$left_out" ]; then
    echo "QUILLON_PROGRAM_ONLY still configured $left_out/" >&2
    exit 1
  fi
done
cmake --build "$build" -j "$jobs"
rm -f "$build"/quillon_*.deb
(cd "$build" && cpack -G DEB)
deb=$(echo "$build"/quillon_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends

# lintian fails the check on an error or a warning; its notes are shown.
lintian --fail-on error,warning --display-info "$deb"
if ! dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6'; then
  echo "The package's dependencies were not computed from its libraries" >&2
  exit 1
fi

scratch=$(mktemp -d /tmp/quillon-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT INT TERM
image="$scratch/image"
dpkg -x "$deb" "$image"
desktop-file-validate "$image/usr/share/applications/$id.desktop"
appstreamcli validate --strict --no-net "$image/usr/share/metainfo/$id.metainfo.xml"

# The man page: groff says nothing at its most watchful, at the width of a
# terminal and for print.
zcat "$image/usr/share/man/man1/quillon.1.gz" > "$scratch/quillon.1"
for device in utf8 ps; do
  complaints=$(groff -t -man -T "$device" -ww -z "$scratch/quillon.1" 2>&1)
  if [ -n "$complaints" ]; then
    echo "groff -T $device on the man page:" >&2
    echo "$complaints" >&2
    exit 1
  fi
done

# The icon: the scalable one, and each PNG as large as its theme folder says
# (48x48 at least, the size every theme is required to have).
test -s "$image/usr/share/icons/hicolor/scalable/apps/$id.svg"
test -s "$image/usr/share/icons/hicolor/48x48/apps/$id.png"
for png in "$image"/usr/share/icons/hicolor/*x*/apps/"$id".png; do
  folder=$(basename "$(dirname "$(dirname "$png")")")
  if ! file "$png" | grep -q "PNG image data, ${folder%x*} x ${folder#*x},"; then
    echo "$png is not a ${folder} PNG: $(file -b "$png")" >&2
    exit 1
  fi
done

# The unpacked binary's self-test, with every folder it reads in the scratch root.
for folder in home tmp runtime cache config state; do mkdir -m 700 "$scratch/$folder"; done
HOME="$scratch/home" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/runtime" \
  XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" \
  "$image/usr/bin/quillon" --self-test
