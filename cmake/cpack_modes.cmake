# SPDX-License-Identifier: MIT
# Run by cpack before it packs: the directories that the install made for
# the files' sake got the umask's modes; they all become 755, and files 644
# (the game 755), whatever the umask.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(path IN LISTS staged)
    if(IS_DIRECTORY "${path}" OR path MATCHES "/games/zelvane$|/bin/zelvane$")
        file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
             GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    else()
        file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
endforeach()
