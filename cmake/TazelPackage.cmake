# The installer is built once per variant of its code, as a stub that carries no package and no
# resources at all; the package maker (packer/) turns a stub and a package into an installer by
# adding a resource section of its own making. The build packs the product and the test packages
# with the build's packer, tazelpack-build: the shipped packer's code with the stub named on its
# command line and, for test packages only, a route around the description's checks.
#
# tazel_add_stub(<target> [RUNTIME <object library>] [DECODING <object library>]
#                [STAND_INS <object library>...])
#     RUNTIME    the allocation functions and throw helpers: a test build's own variant, else the
#                product's tazel_cxx_runtime
#     DECODING   tazel_lzma_decoding for the stub of compressed packages, else tazel_no_decoder
#     STAND_INS  test builds: objects linked ahead of the libraries, so that they stand in for the
#                members of the same names
#
# tazel_add_package(<target> DESCRIPTION <file> [SOURCES <folder>] [STUB <stub target>]
#                   [LZMA_STUB <stub target>] [OUTPUT_NAME <exe name>])
#     An installer from a package description (docs/publishing.md), checked as a
#     publisher's is; sources are relative to the description's folder or to SOURCES. Named after
#     the installer name unless OUTPUT_NAME says otherwise. A description that asks for compression
#     is packed into LZMA_STUB, by default TazelStubLzma, the stub with the decoder.
#
# tazel_add_unchecked_package(<target> INSTALLER_NAME <name> DISPLAY_NAME <name> [STUB <stub target>]
#     FILES "<file name>=<payload source>" ...)
#     For the installer's failure paths and the kind rule's other outcomes, which a checked
#     description refuses: nothing is checked. "<name>=" has no payload resource at all, and
#     "=<source>" has an empty file name. Named after the target.
#
# Installers land in the current binary folder; each target is the installer file itself.
set(TAZEL_BUILD_PACKER "" CACHE FILEPATH "The native build's tazelpack-build, which packs the build's installers")
if(NOT EXISTS "${TAZEL_BUILD_PACKER}")
    message(FATAL_ERROR "TAZEL_BUILD_PACKER must name the native build's packer/tazelpack-build")
endif()

function(tazel_add_stub target)
    cmake_parse_arguments(PARSE_ARGV 1 STUB "" "RUNTIME;DECODING" "STAND_INS")
    if(NOT STUB_RUNTIME)
        set(STUB_RUNTIME tazel_cxx_runtime)
    endif()
    if(NOT STUB_DECODING)
        set(STUB_DECODING tazel_no_decoder)
    endif()
    add_executable(${target} WIN32)
    target_link_libraries(${target} PRIVATE ${STUB_RUNTIME} ${STUB_DECODING} ${STUB_STAND_INS} tazel_win32)
    # The entry point hardens the DLL search before the C runtime starts. A misspelt or missing
    # entry symbol is only a linker warning, after which the C runtime's own entry would run
    # unhardened: warnings are errors here. The link map lets the checks find the entry's address.
    target_link_options(${target} PRIVATE -Wl,-e,_TazelEntry -Wl,--fatal-warnings
                        -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
endfunction()

# Runs the build's packer into the current binary folder: `arguments` say what to pack; no
# `stub` means the product's, no `lzma_stub` the product's with the decoder, which a compressed
# package goes into.
function(_tazel_pack target output_name stub lzma_stub)
    if(NOT stub)
        set(stub TazelStub)
    endif()
    if(NOT lzma_stub)
        set(lzma_stub TazelStubLzma)
    endif()
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.exe)
    add_custom_command(OUTPUT ${output}
        COMMAND ${TAZEL_BUILD_PACKER} --stub $<TARGET_FILE:${stub}> --lzma-stub $<TARGET_FILE:${lzma_stub}>
                --out ${CMAKE_CURRENT_BINARY_DIR} --output-name ${output_name}
                --depfile ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.d ${ARGN}
        DEPFILE ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.d
        DEPENDS ${stub} ${lzma_stub} ${TAZEL_BUILD_PACKER}
        COMMENT "Packing ${output_name}.exe"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
    set_target_properties(${target} PROPERTIES TAZEL_INSTALLER ${output})
endfunction()

function(tazel_add_package target)
    cmake_parse_arguments(PARSE_ARGV 1 PKG "" "DESCRIPTION;SOURCES;STUB;LZMA_STUB;OUTPUT_NAME" "")
    if(NOT PKG_OUTPUT_NAME)
        set(PKG_OUTPUT_NAME ${target})
    endif()
    set(arguments ${PKG_DESCRIPTION})
    if(PKG_SOURCES)
        list(APPEND arguments --sources ${PKG_SOURCES})
    endif()
    _tazel_pack(${target} ${PKG_OUTPUT_NAME} "${PKG_STUB}" "${PKG_LZMA_STUB}" ${arguments})
endfunction()

function(tazel_add_unchecked_package target)
    cmake_parse_arguments(PARSE_ARGV 1 PKG "" "INSTALLER_NAME;DISPLAY_NAME;STUB" "FILES")
    # "--option=value": an empty value stays an argument.
    set(arguments --unchecked "--installer-name=${PKG_INSTALLER_NAME}" "--display-name=${PKG_DISPLAY_NAME}")
    foreach(entry IN LISTS PKG_FILES)
        list(APPEND arguments "--file=${entry}")
    endforeach()
    _tazel_pack(${target} ${target} "${PKG_STUB}" "" ${arguments})
endfunction()
