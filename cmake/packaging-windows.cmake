# The Windows package: `cpack -G ZIP` in the build folder gives a zip that
# holds zelvane.exe with the sample config.conf beside it (the game reads it
# from the folder it is started in) and the README.
install(TARGETS zelvane RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/config/config.conf ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zelvane)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
