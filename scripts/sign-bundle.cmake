# cmake -DAPP=Vantor.app [-DIDENTITY="Developer ID Application: …"] -P sign-bundle.cmake
#
# Signs the bundle inside out, as codesign expects and --deep doesn't do reliably: each
# framework, then every other Mach-O file outside the frameworks (Qt's plug-ins, loose
# libraries, vantor-cli and the sample app), then the app itself, then verifies the whole.
# With an identity: the hardened runtime and a secure timestamp, as notarization requires.
# Without one: ad hoc, since Apple silicon kills an app whose signature the relinking broke; the
# hardened runtime is left off there, because its library validation refuses ad-hoc signed
# frameworks (they carry no team) and such a bundle can't be notarized anyway.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/macho.cmake")
macho_arguments(sign-bundle)
if(IDENTITY)
    set(sign codesign --force --options runtime --timestamp --sign "${IDENTITY}")
else()
    set(sign codesign --force --sign -)
endif()

function(sign_one path)
    execute_process(COMMAND ${sign} "${path}" RESULT_VARIABLE failed ERROR_VARIABLE err)
    if(failed)
        message(FATAL_ERROR "sign-bundle: codesign failed on ${path}:\n${err}")
    endif()
endfunction()

file(GLOB frameworks LIST_DIRECTORIES true "${APP}/Contents/Frameworks/*.framework")
foreach(framework IN LISTS frameworks)
    sign_one("${framework}")
endforeach()
macho_files("${APP}" binaries)
file(READ "${APP}/Contents/Info.plist" info)
string(REGEX MATCH "<key>CFBundleExecutable</key>[ \t\r\n]*<string>([^<]*)</string>" _ "${info}")
set(main "${APP}/Contents/MacOS/${CMAKE_MATCH_1}")
foreach(binary IN LISTS binaries)
    if(binary MATCHES "\\.framework/" OR binary STREQUAL main)
        continue()
    endif()
    sign_one("${binary}")
endforeach()
sign_one("${APP}")
execute_process(COMMAND codesign --verify --deep --strict --verbose=2 "${APP}" RESULT_VARIABLE failed ERROR_VARIABLE err)
if(failed)
    message(FATAL_ERROR "sign-bundle: the signature doesn't verify:\n${err}")
endif()
message(STATUS "sign-bundle: signed inside out and verified (${err})")
