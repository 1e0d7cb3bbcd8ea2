#!/bin/sh
# Installs the build under /usr into the folder STAGING, as a package lays it
# out; the other desktop tests look at what it installed.
#
#   stage.sh CMAKE BUILD STAGING
set -eu
rm -rf "$3"
DESTDIR=$3 "$1" --install "$2" --prefix /usr >/dev/null
