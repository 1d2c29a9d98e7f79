# SPDX-License-Identifier: MIT
# web.cmake -- the browser build: the game as .js/.wasm, the page, xterm.js
# (from node_modules, put there by `npm ci`), the service worker that keeps
# them for offline play, and a zip of the whole folder. Every file is named
# relative to the page, so the folder plays unchanged at the root of a site
# or under any path.

set(web_dir ${CMAKE_BINARY_DIR}/web)
set_target_properties(zelvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${web_dir})
target_link_options(zelvane PRIVATE
    -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 "-sASYNCIFY_IMPORTS=['js_wait']"
    -sMODULARIZE -sEXPORT_NAME=createZelvane -sINVOKE_RUN=0
    -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1 -sFORCE_FILESYSTEM=1
    "-sEXPORTED_RUNTIME_METHODS=['FS','callMain']"
    "--embed-file=${CMAKE_SOURCE_DIR}/config/config.conf@/sample.conf")

# An optimised build runs emscripten's JavaScript optimizer, whose parser
# Debian keeps under /usr/share/nodejs (node-acorn): a Node.js from
# elsewhere does not look there by itself.
if(EXISTS /usr/share/nodejs/acorn)
    set_property(TARGET zelvane PROPERTY RULE_LAUNCH_LINK
        "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs:$ENV{NODE_PATH}")
endif()

set(xterm ${CMAKE_SOURCE_DIR}/node_modules/@xterm)
if(NOT EXISTS ${xterm}/xterm/lib/xterm.js)
    message(FATAL_ERROR "xterm.js is missing: run `npm ci` in ${CMAKE_SOURCE_DIR}")
endif()
set(web_files
    ${CMAKE_SOURCE_DIR}/web/index.html
    ${CMAKE_SOURCE_DIR}/web/shell.js
    ${CMAKE_SOURCE_DIR}/web/manifest.webmanifest
    ${CMAKE_SOURCE_DIR}/packaging/zelvane.svg
    ${xterm}/xterm/lib/xterm.js
    ${xterm}/xterm/css/xterm.css
    ${xterm}/addon-fit/lib/addon-fit.js)
# The page's folder, file by file: what the zip holds and the service worker keeps.
set(page_names)
foreach(f ${web_files})
    get_filename_component(name ${f} NAME)
    list(APPEND page_names ${name})
endforeach()
list(APPEND page_names zelvane.js zelvane.wasm sw.js)
string(JOIN "', '" ZELVANE_PAGE_FILES ${page_names})
configure_file(${CMAKE_SOURCE_DIR}/web/sw.js ${web_dir}/sw.js @ONLY)

add_custom_target(zelvane_page ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${web_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${web_files} ${web_dir}
    DEPENDS ${web_files})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/zelvane-web.zip
    COMMAND ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/zelvane-web.zip --format=zip ${page_names}
    WORKING_DIRECTORY ${web_dir}
    DEPENDS zelvane zelvane_page ${web_files} ${web_dir}/sw.js)
add_custom_target(zelvane_web_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/zelvane-web.zip)
