# cmake -DAPP=Vantor.app [-DOTOOL=otool] -P bundle-links.cmake
#
# Fails when any Mach-O file in the bundle links a library outside it and outside the system:
# anything under /opt/homebrew or /usr/local (Homebrew's Qt, OpenSSL, libarchive…). On the
# machine that built it such a bundle runs, since Homebrew is there; on a user's Mac it doesn't
# start. macdeployqt copies and relinks what it finds; this proves it found everything.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/macho.cmake")
macho_arguments(bundle-links)
macho_files("${APP}" files)
set(outside 0)
foreach(file IN LISTS files)
    execute_process(COMMAND "${OTOOL}" -L "${file}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
        message(FATAL_ERROR "bundle-links: ${OTOOL} -L failed on ${file}")
    endif()
    string(REPLACE "\n" ";" lines "${listing}")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]+((/opt/homebrew|/usr/local)/[^ ]*)")
            file(RELATIVE_PATH name "${APP}" "${file}")
            message(SEND_ERROR "bundle-links: ${name} links ${CMAKE_MATCH_1}, which a user's Mac doesn't have")
            math(EXPR outside "${outside} + 1")
        endif()
    endforeach()
endforeach()
if(outside GREATER 0)
    message(FATAL_ERROR "bundle-links: ${outside} links point outside the bundle")
endif()
list(LENGTH files count)
message(STATUS "bundle-links: ${count} binaries link only the system and the bundle")
