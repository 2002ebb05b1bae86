#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# The licence lines at the top of every tracked source, script and CMake file:
#   sh scripts/licence-headers.sh --check   names each file that lacks one, and fails if any does
#   sh scripts/licence-headers.sh --add     adds what is missing (again: nothing changes)
# The two lines, in the file's own comment syntax, within its first lines (a
# #! line comes first where there is one):
#   SPDX-License-Identifier: GPL-3.0-or-later
#   SPDX-FileCopyrightText: The Quillon developers
# C and C++ take //; CMake files, shell scripts and any other file that starts
# with #! take #. Data, images, the licence text, the documents and the fuzz
# corpus are not sources and are left alone.
set -eu
cd "$(dirname "$0")/.."

licence="SPDX-License-Identifier: GPL-3.0-or-later"
holder="SPDX-FileCopyrightText: The Quillon developers"
# How far down the lines may be: a #! line, the two lines, and some slack.
top=5

# comment_of FILE: prints the comment leader of a source, nothing for any other file.
comment_of() {
  case "$1" in
    fuzz/corpus/*) ;;
    *.c | *.cc | *.cpp | *.h | *.hpp) echo "//" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh) echo "#" ;;
    *) if [ "$(head -c 2 "$1")" = "#!" ]; then echo "#"; fi ;;
  esac
}

# has FILE LINE: whether LINE, exactly, is one of the file's first lines.
has() {
  head -n "$top" "$1" | grep -qxF -- "$2"
}

# add FILE LEADER: puts the missing lines after the #! line, or first, with a
# blank line after them unless one follows already.
add() {
  file=$1 leader=$2 block=""
  has "$file" "$leader $licence" || block="$leader $licence
"
  has "$file" "$leader $holder" || block="$block$leader $holder
"
  after=0
  if [ "$(head -c 2 "$file")" = "#!" ]; then after=1; fi
  # The awk program reads the block from the environment: no quoting of its text.
  BLOCK=$block awk -v after="$after" '
    NR == after + 1 { printf "%s", ENVIRON["BLOCK"]; if ($0 != "") print "" }
    { print }
    END { if (NR == after) printf "%s", ENVIRON["BLOCK"] }
  ' "$file" >"$work"
  # A copy that keeps the file's mode (an executable script stays executable),
  # moved over the file: a new inode, so a shell that is reading the file
  # (this script, adding its own lines) goes on reading the old one.
  cp -p "$file" "$file.licence-headers"
  cat "$work" >"$file.licence-headers"
  mv "$file.licence-headers" "$file"
}

case "${1:-}" in
  --check | --add) action=$1 ;;
  *) echo "usage: sh scripts/licence-headers.sh --check | --add" >&2; exit 2 ;;
esac

lacking=0
list=$(mktemp)
work=$(mktemp)
trap 'rm -f "$list" "$work"' EXIT
git ls-files >"$list"
while IFS= read -r file; do
  [ -f "$file" ] || continue
  leader=$(comment_of "$file")
  [ -n "$leader" ] || continue
  if has "$file" "$leader $licence" && has "$file" "$leader $holder"; then continue; fi
  if [ "$action" = --add ]; then
    add "$file" "$leader"
    echo "added: $file"
  else
    echo "no licence lines: $file" >&2
    lacking=$((lacking + 1))
  fi
done <"$list"

if [ "$lacking" -ne 0 ]; then
  echo "$lacking files lack the licence lines; sh scripts/licence-headers.sh --add adds them" >&2
  exit 1
fi
