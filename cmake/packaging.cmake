# SPDX-License-Identifier: MIT
# packaging.cmake -- what `cmake --install` puts where, and the packages
# CPack makes of it. Every install rule and CPack setting lives here.
#
# On POSIX the layout is a terminal game's (GNUInstallDirs: games, share/man,
# share/doc, the desktop entry, icon and AppStream data). On Windows
# everything goes to the root of the install tree.

# Whatever the umask of the machine that installs or packages: 755 and 644.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Directories made on the way to a file take the umask's modes all the same:
# cpack sets them right before it packs.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_modes.cmake)
if(WIN32)
    # The zip: the game with its sample config.conf beside it, and the README
    # and the licence as text files Windows opens (CRLF line ends).
    install(TARGETS zelvane RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/config/config.conf DESTINATION .)
    foreach(doc README.md:README.txt LICENSE:LICENSE.txt)
        string(REPLACE ":" ";" doc ${doc})
        list(GET doc 0 from)
        list(GET doc 1 to)
        file(READ ${PROJECT_SOURCE_DIR}/${from} text)
        string(REPLACE "\r\n" "\n" text "${text}")
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE ${PROJECT_BINARY_DIR}/${to} "${text}")
        install(FILES ${PROJECT_BINARY_DIR}/${to} DESTINATION .)
    endforeach()
else()
    include(GNUInstallDirs)
    # Packages put the game in games/, as Debian's policy asks of games; a
    # plain `cmake --install` puts it in bin/, which every PATH holds (not
    # every distribution's PATH holds /usr/local/games). The component
    # "packaged" is installed by CPack alone.
    install(TARGETS zelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT plain)
    install(TARGETS zelvane RUNTIME DESTINATION games COMPONENT packaged EXCLUDE_FROM_ALL)
    set(CPACK_COMPONENTS_ALL packaged files)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake)

    # Compressed as Debian wants them: no name and no time in the header.
    set(zelvane_gz "")
    foreach(gz doc/zelvane.6:zelvane.6.gz packaging/changelog:changelog.gz)
        string(REPLACE ":" ";" gz ${gz})
        list(GET gz 0 from)
        list(GET gz 1 to)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${to}
            COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${from} > ${PROJECT_BINARY_DIR}/${to}
            DEPENDS ${PROJECT_SOURCE_DIR}/${from} VERBATIM)
        list(APPEND zelvane_gz ${PROJECT_BINARY_DIR}/${to})
    endforeach()
    add_custom_target(zelvane_gz ALL DEPENDS ${zelvane_gz})

    set(pkg ${PROJECT_SOURCE_DIR}/packaging)
    install(FILES ${PROJECT_BINARY_DIR}/zelvane.6.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT files)
    install(FILES ${PROJECT_SOURCE_DIR}/config/config.conf
            DESTINATION ${CMAKE_INSTALL_DATADIR}/zelvane COMPONENT files)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${pkg}/copyright
                  ${PROJECT_BINARY_DIR}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT files)
    install(FILES ${pkg}/zelvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT files)
    install(FILES ${pkg}/zelvane.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT files)
    install(FILES ${pkg}/org.example.zelvane.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT files)
endif()

set(CPACK_PACKAGE_NAME zelvane)
set(CPACK_PACKAGE_VENDOR "Zelvane developers")
set(CPACK_PACKAGE_CONTACT "Zelvane developers <dev@zelvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Columns of three coloured cells fall into a walled well. Move them, cycle\n"
    "their colours and drop them, so that runs of equal colours are removed and\n"
    "score. Needs an xterm-compatible terminal of at least 80 x 24 with a UTF-8\n"
    "or GBK locale.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://zelvane.example.org")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    # `cpack -G ZIP`: zelvane.exe with config.conf and the README beside it.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows-x86_64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON) # zelvane-1.0.0-windows-x86_64/
    set(CPACK_STRIP_FILES OFF) # the host's strip cannot read a Windows binary
elseif(APPLE)
    set(CPACK_GENERATOR TGZ) # a .deb needs Debian's dpkg-shlibdeps
else()
    set(CPACK_GENERATOR TGZ DEB)
endif()

# Debian: `cpack -G DEB`. dpkg-shlibdeps (package dpkg-dev) computes the
# libraries the binary needs; CPack finds the binaries with `file`.
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The archives take their times from SOURCE_DATE_EPOCH; the top-level
# CMakeLists.txt keeps build paths out of the binary.

include(CPack)
