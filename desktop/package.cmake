# The Debian package of what installs, built by scripts/package (cpack -G DEB
# on a Release build). Its dependencies are those of the shared libraries the
# programs link, found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamblor)
set(CPACK_PACKAGE_VENDOR tamblor)
set(CPACK_PACKAGE_CONTACT "tamblor <maintainers@tamblor.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tamblor.org)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guitar scores kept as pictures in a library")
# Wrapped as the control file shows it; an empty line parts paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
tamblor keeps a collection of guitar scores as pictures: scanned or
photographed pages, each with a name, in one library file (an SQLite 3
database). The main window lists the scores and shows the current page;
pages are imported from JPEG and bitmap files, exported, renamed, deleted,
found by name, and copied and pasted through the clipboard. The windows are
in simplified Chinese.

The menu entry starts the program in the user's score folder
(~/.local/share/tamblor, or one chosen with tamblor-launch) and makes an
empty library there on the first start. The companion command tbrtool makes,
fills, lists, checks, backs up and exports libraries from a shell.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese captions need a CJK font, and Qt's own dialogs their Chinese
# translations. The launcher asks for a folder and shows its failures with
# whichever of the suggested programs is there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog, libnotify-bin")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
