# cmake -DSCRIPTS=… -DWORK=… -P bundle_checks_test.cmake: the install step's checks of the Mac
# bundle, with a stand-in otool. The bundle's minimum macOS is the newest any of its binaries
# needs (a universal framework's 14.0 over the app's own 13.0 and the CLI's legacy 11.0; links,
# text and the declared 13.0 don't count), whether Info.plist named one or not; and a binary
# that links a library under /opt/homebrew or /usr/local fails the bundle, naming both.
set(here "${CMAKE_CURRENT_LIST_DIR}")
set(app "${WORK}/Vantor.app")

function(run_script expect_success)
    set(script bundle-minos)
    if(ARGC GREATER 1)
        set(script ${ARGV1})
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -DAPP=${app} -DOTOOL=${OTOOL} -P "${SCRIPTS}/${script}.cmake"
        RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expect_success AND failed)
        message(FATAL_ERROR "bundle-minos failed:\n${out}${err}")
    elseif(NOT expect_success AND NOT failed)
        message(FATAL_ERROR "${script} passed what it should refuse:\n${out}${err}")
    endif()
    string(REGEX REPLACE "[ \t\r\n]+" " " output "${out}${err}") # CMake wraps its messages
    set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect_minimum version)
    file(READ "${app}/Contents/Info.plist" info)
    string(REGEX MATCHALL "<key>LSMinimumSystemVersion</key>" keys "${info}")
    list(LENGTH keys count)
    if(NOT info MATCHES "<key>LSMinimumSystemVersion</key><string>${version}</string>" OR NOT count EQUAL 1
       OR NOT info MATCHES "<key>CFBundleIdentifier</key>")
        message(FATAL_ERROR "Expected one LSMinimumSystemVersion of ${version}:\n${info}")
    endif()
endfunction()

set(OTOOL "${here}/fake-otool.sh")
file(REMOVE_RECURSE "${WORK}")
file(COPY "${here}/bundle/Vantor.app" DESTINATION "${WORK}")
if(NOT IS_SYMLINK "${app}/Contents/Frameworks/QtCore.framework/QtCore")
    message(FATAL_ERROR "The fixture's framework link was not copied as a link")
endif()
run_script(ON)
expect_minimum(14.0)

# An Info.plist without the key gets it.
file(READ "${app}/Contents/Info.plist" info)
string(REGEX REPLACE "<key>LSMinimumSystemVersion</key><string>[^<]*</string>" "" info "${info}")
file(WRITE "${app}/Contents/Info.plist" "${info}")
run_script(ON)
expect_minimum(14.0)

# Links: the deployed bundle links only itself and the system; one Homebrew path fails it.
run_script(ON bundle-links)
file(APPEND "${app}/Contents/Frameworks/QtCore.framework/Versions/A/QtCore"
    "\t/opt/homebrew/opt/openssl@3/lib/libcrypto.3.dylib (compatibility version 3.0.0, current version 3.0.0)\n")
run_script(OFF bundle-links)
if(NOT output MATCHES "Contents/Frameworks/QtCore.framework/Versions/A/QtCore links /opt/homebrew/opt/openssl@3/lib/libcrypto.3.dylib")
    message(FATAL_ERROR "bundle-links didn't name the binary and the library:\n${output}")
endif()

# A binary otool can't read stops the install rather than letting a guess through.
set(OTOOL false)
run_script(OFF)
run_script(OFF bundle-links)
