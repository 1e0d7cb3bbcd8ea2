#!/bin/sh
# Checks the staged desktop files with the desktop's own validators; a
# validator that is not installed skips the check (exit 77), naming it.
#
#   validate.sh entry|metainfo|mime STAGING
set -eu
kind=$1
share=$2/usr/share

need() {
    command -v "$1" >/dev/null 2>&1 && return 0
    echo "skipped: $1 is not installed (scripts/deps installs it)"
    exit 77
}

case $kind in
entry)
    need desktop-file-validate
    desktop-file-validate "$share/applications/tamblor.desktop"
    ;;
metainfo)
    # The whole tree: the metainfo file, and the menu entry it names.
    need appstreamcli
    appstreamcli validate-tree --no-net "$2"
    ;;
mime)
    # The type compiled with the system's own, whose SQLite type it refines.
    need xmllint
    need update-mime-database
    xmllint --noout "$share/mime/packages/tamblor.xml"
    data=$(mktemp -d)
    trap 'rm -rf "$data"' EXIT
    mime=$data/mime
    mkdir -p "$mime/packages"
    cp /usr/share/mime/packages/freedesktop.org.xml "$share/mime/packages/tamblor.xml" \
        "$mime/packages/"
    XDG_DATA_DIRS=$data update-mime-database "$mime"
    grep -qx '[0-9]*:application/x-tamblor-library:\*\.tbr' "$mime/globs2"
    grep -qx 'application/x-tamblor-library:application-x-tamblor-library' "$mime/icons"
    grep -qx 'application/x-tamblor-library application/vnd.sqlite3' "$mime/subclasses"
    ;;
*)
    echo "usage: validate.sh entry|metainfo|mime STAGING" >&2
    exit 2
    ;;
esac
