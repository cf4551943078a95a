# tazel_add_package(<target> DESCRIPTION <file> [SOURCES <folder>] [OUTPUT_NAME <exe name>])
#
# Builds one installer executable that carries the package a description file names (the format:
# docs/package-description.md). tools/package/package_description.py checks the description
# while CMake configures, before anything is generated; a bad one stops the configuration with its
# problems, line by line. From a good one it writes the manifest as a source file and the resource
# script, where file i becomes resource 101 + i of type "CUSTOM". Sources are relative to the
# description's folder, or to SOURCES. The executable is named after the installer name unless
# OUTPUT_NAME says otherwise.
#
# tazel_add_unchecked_package(<target> INSTALLER_NAME <name> DISPLAY_NAME <name>
#     FILES "<file name>=<payload source>" ...
#     [RUNTIME <object library>]      the allocation functions and throw helpers; a test build's
#                                      own variant, else the product's tazel_cxx_runtime
#     [STAND_INS <object library>...]) test builds: objects linked ahead of the libraries, so
#                                      that they stand in for the members of the same names
#
# For test packages that exercise the installer's failure paths and the kind rule's other
# outcomes, which a checked description refuses, and for test builds of the installer's code: the
# texts are escaped alike, nothing is checked.
# An entry written as "<name>=" has no payload resource at all, and "=<source>" has an empty file
# name. The executable is named after the target.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TAZEL_PACKAGE_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TAZEL_PACKAGE_TOOL ${CMAKE_CURRENT_LIST_DIR}/../tools/package/package_description.py)
set(TAZEL_PACKAGE_INPUTS ${TAZEL_PACKAGE_TOOL} ${CMAKE_CURRENT_LIST_DIR}/Manifest.cpp.in
    ${CMAKE_CURRENT_LIST_DIR}/Package.rc.in ${CMAKE_CURRENT_LIST_DIR}/../core/TemporaryFiles.h)

function(tazel_add_package target)
    cmake_parse_arguments(PARSE_ARGV 1 PKG "" "DESCRIPTION;SOURCES;OUTPUT_NAME" "")
    set(arguments ${PKG_DESCRIPTION})
    if(PKG_SOURCES)
        list(APPEND arguments --sources ${PKG_SOURCES})
    endif()
    _tazel_generate_package(${target} ${arguments})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PKG_DESCRIPTION})
    if(NOT PKG_OUTPUT_NAME)
        set(PKG_OUTPUT_NAME ${TAZEL_PACKAGE_INSTALLER_NAME})
    endif()
    _tazel_package_executable(${target} ${PKG_OUTPUT_NAME} tazel_cxx_runtime)
endfunction()

function(tazel_add_unchecked_package target)
    cmake_parse_arguments(PARSE_ARGV 1 PKG "" "INSTALLER_NAME;DISPLAY_NAME;RUNTIME" "FILES;STAND_INS")
    if(NOT PKG_RUNTIME)
        set(PKG_RUNTIME tazel_cxx_runtime)
    endif()
    # "--option=value": an empty value stays an argument.
    set(arguments --unchecked "--installer-name=${PKG_INSTALLER_NAME}" "--display-name=${PKG_DISPLAY_NAME}")
    foreach(entry IN LISTS PKG_FILES)
        list(APPEND arguments "--file=${entry}")
    endforeach()
    _tazel_generate_package(${target} ${arguments})
    _tazel_package_executable(${target} ${target} ${PKG_RUNTIME} ${PKG_STAND_INS})
endfunction()

# Runs the generator into <target>.gen; sets TAZEL_PACKAGE_INSTALLER_NAME and TAZEL_PACKAGE_PAYLOAD
# in the caller.
macro(_tazel_generate_package target)
    execute_process(
        COMMAND ${Python3_EXECUTABLE} ${TAZEL_PACKAGE_TOOL} generate ${ARGN}
                --art ${TAZEL_ART_DIR} --resources ${CMAKE_SOURCE_DIR}/resources
                --out ${CMAKE_CURRENT_BINARY_DIR}/${target}.gen
        RESULT_VARIABLE _tazel_status ERROR_VARIABLE _tazel_problems)
    if(NOT _tazel_status EQUAL 0)
        message(FATAL_ERROR "${target}: the package description is not usable:\n${_tazel_problems}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TAZEL_PACKAGE_INPUTS})
    include(${CMAKE_CURRENT_BINARY_DIR}/${target}.gen/Package.cmake)
endmacro()

# Links `runtime` and any further object libraries given after it ahead of the installer's code.
function(_tazel_package_executable target output_name runtime)
    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}.gen)
    add_executable(${target} WIN32 ${gen}/Manifest.cpp ${gen}/Package.rc)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name})
    target_link_libraries(${target} PRIVATE ${runtime} ${ARGN} tazel_win32)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    # The entry point hardens the DLL search before the C runtime starts. A misspelt or missing
    # entry symbol is only a linker warning, after which the C runtime's own entry would run
    # unhardened: warnings are errors here. The link map lets the checks find the entry's address.
    target_link_options(${target} PRIVATE -Wl,-e,_TazelEntry -Wl,--fatal-warnings
                        -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/${output_name}.map)
    # Run from the swap file when started from removable media or a network share; part of the
    # build's output, so a release signs it.
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} ${TAZEL_PACKAGE_CMAKE_DIR}/SetRunFromSwap.py $<TARGET_FILE:${target}>
        VERBATIM)
    set_property(SOURCE ${gen}/Package.rc APPEND PROPERTY OBJECT_DEPENDS
        ${TAZEL_PACKAGE_PAYLOAD}
        ${TAZEL_ART_DIR}/Window.jpg ${TAZEL_ART_DIR}/Icon30001.bin ${TAZEL_ART_DIR}/IconGroup1.bin
        ${CMAKE_SOURCE_DIR}/resources/TazelDeck.manifest ${CMAKE_SOURCE_DIR}/resources/ResourceIds.h)
endfunction()
