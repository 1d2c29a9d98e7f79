# SPDX-License-Identifier: MIT
# web.cmake -- the browser build: the game as .js/.wasm, the page, xterm.js
# (from node_modules, put there by `npm ci`) and a zip of the whole folder.

set(web_dir ${CMAKE_BINARY_DIR}/web)
set_target_properties(zelvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${web_dir})
target_link_options(zelvane PRIVATE
    -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 "-sASYNCIFY_IMPORTS=['js_wait']"
    -sMODULARIZE -sEXPORT_NAME=createZelvane -sINVOKE_RUN=0
    -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1 -sFORCE_FILESYSTEM=1
    "-sEXPORTED_RUNTIME_METHODS=['FS','callMain']"
    "--embed-file=${CMAKE_SOURCE_DIR}/config/config.conf@/sample.conf")

set(xterm ${CMAKE_SOURCE_DIR}/node_modules/@xterm)
if(NOT EXISTS ${xterm}/xterm/lib/xterm.js)
    message(FATAL_ERROR "xterm.js is missing: run `npm ci` in ${CMAKE_SOURCE_DIR}")
endif()
set(web_files
    ${CMAKE_SOURCE_DIR}/web/index.html
    ${CMAKE_SOURCE_DIR}/web/shell.js
    ${xterm}/xterm/lib/xterm.js
    ${xterm}/xterm/css/xterm.css
    ${xterm}/addon-fit/lib/addon-fit.js)
add_custom_target(zelvane_page ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${web_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${web_files} ${web_dir}
    DEPENDS ${web_files})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/zelvane-web.zip
    COMMAND ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/zelvane-web.zip --format=zip
            index.html shell.js xterm.js xterm.css addon-fit.js zelvane.js zelvane.wasm
    WORKING_DIRECTORY ${web_dir}
    DEPENDS zelvane zelvane_page ${web_files})
add_custom_target(zelvane_web_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/zelvane-web.zip)
