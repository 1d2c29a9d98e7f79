# packaging.cmake -- what `cmake --install` puts where, and the packages
# CPack makes of it. Every install rule and CPack setting lives here.
#
# On POSIX the layout is a terminal program's (GNUInstallDirs: bin, share/man,
# share/doc). On Windows everything goes to the root of the install tree, so
# that a ZIP holds the game with its sample config.conf beside it.

if(WIN32)
    set(ZELVANE_INSTALL_BIN .)
    set(ZELVANE_INSTALL_CONFIG .)
    set(ZELVANE_INSTALL_DOC .)
else()
    include(GNUInstallDirs)
    set(ZELVANE_INSTALL_BIN ${CMAKE_INSTALL_BINDIR})
    set(ZELVANE_INSTALL_CONFIG ${CMAKE_INSTALL_DATADIR}/zelvane)
    set(ZELVANE_INSTALL_DOC ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/doc/zelvane.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endif()
install(TARGETS zelvane RUNTIME DESTINATION ${ZELVANE_INSTALL_BIN})
install(FILES ${PROJECT_SOURCE_DIR}/config/config.conf DESTINATION ${ZELVANE_INSTALL_CONFIG})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${ZELVANE_INSTALL_DOC})

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
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_STRIP_FILES OFF) # the host's strip cannot read a Windows binary
else()
    set(CPACK_GENERATOR TGZ DEB)
endif()

# Debian: `cpack -G DEB`. dpkg-shlibdeps (package dpkg-dev) computes the
# libraries the binary needs; CPack finds the binaries with `file`.
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
