#!/bin/sh
# The installed tbrtool runs, and every installed manual page (tbrtool's, the
# program's and the launcher's) renders without a warning from man or groff.
# The build is installed under /usr in STAGING by desktop/stage.sh.
#
#   installed.sh STAGING
set -eu
usr=$1/usr
"$usr/bin/tbrtool" --version
for page in "$usr"/share/man/man1/*.1.gz; do
    status=0
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || status=$?
    if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
        printf '%s: man exited with %s\n%s\n' "${page##*/}" "$status" "$warnings" >&2
        exit 1
    fi
done
