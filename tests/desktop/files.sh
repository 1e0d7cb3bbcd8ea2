#!/bin/sh
# What the installation lays out under /usr, staged by stage.sh: the programs,
# the menu entry and what it names, the icons in every size of the theme, the
# manual pages and the documents.
#
#   files.sh STAGING
set -eu
root=$1
usr=$root/usr

fail() {
    echo "files.sh: $*" >&2
    exit 1
}

for program in tamblor tamblor-launch tbrtool; do
    [ -f "$usr/bin/$program" ] || fail "no program bin/$program"
    [ -x "$usr/bin/$program" ] || fail "bin/$program may not be run"
done
for file in share/applications/tamblor.desktop \
    share/metainfo/org.tamblor.Tamblor.metainfo.xml \
    share/mime/packages/tamblor.xml \
    share/doc/tamblor/copyright share/doc/tamblor/changelog.gz; do
    [ -f "$usr/$file" ] || fail "no $file"
done
# Nothing lands outside the prefix.
[ "$(ls -A "$root")" = usr ] || fail "files outside /usr: $(ls -A "$root")"

# The menu entry starts an installed program and shows an installed icon.
entry=$usr/share/applications/tamblor.desktop
value() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
[ -x "$usr/bin/$(value TryExec)" ] || fail "TryExec names no installed program"
[ -x "$usr/bin/$(value Exec | cut -d ' ' -f 1)" ] || fail "Exec names no installed program"
[ -f "$usr/share/icons/hicolor/48x48/apps/$(value Icon).png" ] || fail "Icon names no installed icon"

# Each icon is a PNG of its folder's size, for the program and for its files.
png_size() {
    # The header's width and height, split into their eight bytes.
    # shellcheck disable=SC2046
    set -- $(od -An -tu1 -j16 -N8 "$1")
    echo "$(($1 * 16777216 + $2 * 65536 + $3 * 256 + $4))x$(($5 * 16777216 + $6 * 65536 + $7 * 256 + $8))"
}
for size in 16 22 24 32 48 64 128 256; do
    for icon in apps/tamblor.png mimetypes/application-x-tamblor-library.png; do
        file=$usr/share/icons/hicolor/${size}x$size/$icon
        [ -f "$file" ] || fail "no icon ${size}x$size/$icon"
        [ "$(od -An -c -j1 -N3 "$file" | tr -d ' ')" = PNG ] || fail "${size}x$size/$icon is no PNG"
        [ "$(png_size "$file")" = "${size}x$size" ] ||
            fail "${size}x$size/$icon is $(png_size "$file") pixels"
    done
done

# The manual pages, compressed (tools/installed.sh renders them).
for page in tamblor tamblor-launch tbrtool; do
    [ -f "$usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page.1.gz"
done
