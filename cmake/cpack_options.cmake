# SPDX-License-Identifier: MIT
# Read by cpack for each generator: the tarball's files go in a folder of
# their own, the .deb's from the root.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
