# The Debian package, made by CPack from the install rules with the prefix /usr:
#   cmake --build <build> --target package   ->  <build>/velmora_<version>_amd64.deb
# from a build configured with -DVELMORA_STATIC_CLI=OFF (README, Install).
# Its dependencies on shared libraries come from dpkg-shlibdeps. Desktop, MIME, icon
# and manual page databases are brought up to date by the triggers of the packages
# that own them, so the package has no maintainer scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@users.noreply.c-seed-1d473bab.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn BitTorrent .torrent files into magnet links")
# The long description below the summary; CPack indents it for the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmora lists the magnet link of each .torrent file it is given (by the open
dialog, by dropping, on the command line or from the file manager) with the
torrent's details, hands a link to the desktop's BitTorrent client and saves
all links as a text list or an HTML page. The window is in Russian, or in
English on an English desktop.

velmora-cli prints the same links, or their details as JSON, on the command
line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window loads Qt's own Russian texts for its standard dialogs and buttons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# xdg-open hands magnet links to the desktop's client.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
