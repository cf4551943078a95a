# tazel_add_package(<target>
#     INSTALLER_NAME <short name>      used in the exit messages and the version block
#     DISPLAY_NAME <name>              the package as the user reads it
#     FILES "<file name>=<payload source>" ...   in payload order, at most eight
#     [OUTPUT_NAME <exe name>]
#     [RUNTIME <object library>]      the allocation functions and throw helpers; a test build's
#                                      own variant, else the product's tazel_cxx_runtime
#     [STAND_INS <object library>...]) test builds: objects linked ahead of the libraries, so
#                                      that they stand in for the members of the same names
#
# Builds one installer executable that carries the package: the manifest is generated as a
# source file and payload entry i becomes resource 101 + i of type "CUSTOM". An entry written
# as "<name>=" has no payload resource at all, and "=<source>" has an empty file name; both are
# for test packages that exercise the installer's failure paths.
set(TAZEL_PACKAGE_TEMPLATES ${CMAKE_CURRENT_LIST_DIR})

function(tazel_add_package target)
    cmake_parse_arguments(PARSE_ARGV 1 PKG "" "INSTALLER_NAME;DISPLAY_NAME;OUTPUT_NAME;RUNTIME" "FILES;STAND_INS")
    list(LENGTH PKG_FILES count)
    if(count GREATER 8)
        message(FATAL_ERROR "${target}: a package holds at most eight files")
    endif()
    if(NOT PKG_OUTPUT_NAME)
        set(PKG_OUTPUT_NAME ${target})
    endif()
    if(NOT PKG_RUNTIME)
        set(PKG_RUNTIME tazel_cxx_runtime)
    endif()

    set(names "")
    set(entries "")
    set(payload_files "")
    set(index 0)
    foreach(entry IN LISTS PKG_FILES)
        string(FIND "${entry}" "=" eq)
        if(eq LESS 0)
            message(FATAL_ERROR "${target}: '${entry}' is not of the form name=source")
        endif()
        string(SUBSTRING "${entry}" 0 ${eq} name)
        math(EXPR after "${eq} + 1")
        string(SUBSTRING "${entry}" ${after} -1 source)
        string(APPEND names "        L\"${name}\",\n")
        if(NOT source STREQUAL "")
            math(EXPR id "101 + ${index}")
            string(APPEND entries "${id} CUSTOM \"${source}\"\n")
            list(APPEND payload_files "${source}")
        endif()
        math(EXPR index "${index} + 1")
    endforeach()
    while(index LESS 8)
        string(APPEND names "        L\"\",\n")
        math(EXPR index "${index} + 1")
    endwhile()

    set(TAZEL_INSTALLER_NAME "${PKG_INSTALLER_NAME}")
    set(TAZEL_DISPLAY_NAME "${PKG_DISPLAY_NAME}")
    set(TAZEL_FILE_NAMES "${names}")
    set(TAZEL_PAYLOAD_ENTRIES "${entries}")
    set(TAZEL_ART_DIR_RC "${TAZEL_ART_DIR}")
    set(TAZEL_RESOURCES_DIR "${CMAKE_SOURCE_DIR}/resources")
    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}.gen)
    configure_file(${TAZEL_PACKAGE_TEMPLATES}/Manifest.cpp.in ${gen}/Manifest.cpp @ONLY)
    configure_file(${TAZEL_PACKAGE_TEMPLATES}/Package.rc.in ${gen}/Package.rc @ONLY)

    add_executable(${target} WIN32 ${gen}/Manifest.cpp ${gen}/Package.rc)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${PKG_OUTPUT_NAME})
    target_link_libraries(${target} PRIVATE ${PKG_RUNTIME} ${PKG_STAND_INS} tazel_win32)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    # The entry point hardens the DLL search before the C runtime starts. A misspelt or missing
    # entry symbol is only a linker warning, after which the C runtime's own entry would run
    # unhardened: warnings are errors here. The link map lets the checks find the entry's address.
    target_link_options(${target} PRIVATE -Wl,-e,_TazelEntry -Wl,--fatal-warnings
                        -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/${PKG_OUTPUT_NAME}.map)
    # Run from the swap file when started from removable media or a network share; part of the
    # build's output, so a release signs it.
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} ${TAZEL_PACKAGE_TEMPLATES}/SetRunFromSwap.py $<TARGET_FILE:${target}>
        VERBATIM)
    set_property(SOURCE ${gen}/Package.rc APPEND PROPERTY OBJECT_DEPENDS
        ${payload_files}
        ${TAZEL_ART_DIR}/Window.jpg ${TAZEL_ART_DIR}/Icon30001.bin ${TAZEL_ART_DIR}/IconGroup1.bin
        ${CMAKE_SOURCE_DIR}/resources/TazelDeck.manifest ${CMAKE_SOURCE_DIR}/resources/ResourceIds.h)
endfunction()
