# Included by the bundle scripts.
#
# macho_arguments(SCRIPT) checks the scripts' shared arguments: APP must be an app bundle, and
# OTOOL is the system's otool unless given (the tests give a stand-in).
macro(macho_arguments script)
    if(NOT APP OR NOT IS_DIRECTORY "${APP}/Contents")
        message(FATAL_ERROR "${script}: no app bundle at '${APP}'")
    endif()
    if(NOT OTOOL)
        set(OTOOL otool)
    endif()
endmacro()

# macho_files(APP OUT) sets OUT to every Mach-O file (thin or universal, told by its first four
# bytes) in the bundle APP. Links are left out: what they point to is in the bundle too, and a
# framework's Versions/Current link would count it twice.
function(macho_files app out)
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${app}/*")
    set(found "")
    foreach(file IN LISTS files)
        if(IS_SYMLINK "${file}")
            continue()
        endif()
        file(READ "${file}" magic LIMIT 4 HEX)
        if(magic MATCHES "^(cffaedfe|cefaedfe|feedfacf|feedface|cafebabe|bebafeca)$")
            list(APPEND found "${file}")
        endif()
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()
