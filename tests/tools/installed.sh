#!/bin/sh
# Installs the build into a folder of its own, runs the installed tbrtool and
# renders its installed manual page, which must draw no warning from man or
# groff.
#
#   installed.sh CMAKE BUILD
set -eu
cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
"$prefix/bin/tbrtool" --version
status=0
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
  man --warnings -E UTF-8 -l "$prefix/share/man/man1/tbrtool.1" 2>&1 >/dev/null) || status=$?
if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
  printf 'tbrtool.1: man exited with %s\n%s\n' "$status" "$warnings" >&2
  exit 1
fi
