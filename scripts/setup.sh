#!/bin/sh
# Installs, from Debian 12's own archive, everything Quillon needs to build,
# test and run. Packages already present are left as they are.
set -eu

packages="
  build-essential cmake pkg-config
  libicu-dev libplist-dev
  qt6-base-dev qt6-qpa-plugins libxcb1-dev
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-dev
  util-linux
"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
