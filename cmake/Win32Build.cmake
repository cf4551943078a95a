# The Windows side of the build: the Win32 services behind the core's platform interface, the
# installer's stubs, the installers the build's packer makes of them, the Windows package maker
# and the end-to-end test driver.
enable_language(RC)

# Where the card art generator of the native build left its files.
set(TAZEL_ART_DIR "" CACHE PATH "Folder holding the generated payload, window picture and icon")
if(NOT IS_DIRECTORY "${TAZEL_ART_DIR}")
    message(FATAL_ERROR "TAZEL_ART_DIR must name the native build's art output folder")
endif()

# Reproducible and self-contained: no link timestamp, no build paths, the runtime linked in.
add_compile_options(-municode -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# Linked alike. The header's DLL characteristics: relocatable (the loader may place the image
# anywhere) and its data not executable; no structured exception handlers, as nothing in the image
# puts one on the thread's handler chain (GCC emits none for 32-bit code, and the C runtime's
# start-up installs its handler with SetUnhandledExceptionFilter); and aware of terminal servers,
# so that no compatibility redirection applies on one. tests/build/test_executable.py checks all
# four, and that no code of the image touches the handler chain.
add_link_options(-municode -static -static-libgcc -static-libstdc++ -s -Wl,--no-insert-timestamp
                 -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
                 -Wl,--major-os-version,6,--minor-os-version,0
                 -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-seh -Wl,--tsaware)
# Unreferenced functions and data stay out, most of all the GUID tables of libuuid that come
# with the two interface ids the installer uses.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)
# The libraries declared before this file was read take the same options: the package record's
# writer, for one, is the packer's alone and stays out of the installer.
foreach(early tazel_core tazel_lzma_decoder)
    target_compile_options(${early} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffunction-sections -fdata-sections)
endforeach()
# Sections start on page boundaries in the file too, so a loader can map the image, and with it
# the payload, straight from the file. Wine copies an image whose sections are not page-aligned
# into private memory: 4 MB for the installer's payload. About 25 KB of padding.
add_link_options(-Wl,--file-alignment,0x1000)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --codepage=65001")

# The installer's own code is built without C++ exceptions and run-time type information: it
# reports every failure as a value, and a failure that cannot be one (the system running out of
# memory) ends the run through its last resort (host/LastResort.h). Without them no unwind
# tables, personality routine or unwinder are linked. Function-local statics need no guard: the
# one other thread, the decoder's (payload/Decoding.cpp), touches none.
add_library(tazel_installer_options INTERFACE)
target_compile_options(tazel_installer_options INTERFACE
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-threadsafe-statics)
target_link_libraries(tazel_core PRIVATE tazel_installer_options)
if(TAZEL_COVERAGE)
    # Counters on every object built with the installer's options, the generated manifests too.
    # The C runtime's exit writes them; the last resort, which ends the process without that
    # exit, writes them itself in this build alone.
    target_compile_options(tazel_installer_options INTERFACE --coverage -O0)
    target_link_options(tazel_installer_options INTERFACE --coverage)
    target_compile_definitions(tazel_installer_options INTERFACE TAZEL_COVERAGE_DUMP)
endif()

add_library(tazel_win32 STATIC
    platform/Win32Error.cpp
    platform/OptionalFunction.cpp
    platform/Resources.cpp
    platform/FolderLookup.cpp
    platform/FolderExists.cpp
    platform/BrowseDialog.cpp
    payload/Payload.cpp
    ui/MessageBoxes.cpp
    ui/PauseClock.cpp
    ui/MainWindow.cpp
    ui/Picture.cpp
    host/Win32Platform.cpp
    host/LastResort.cpp
    host/Entry.cpp
)
target_link_libraries(tazel_win32 PUBLIC tazel_core tazel_installer_options ole32 oleaut32 shell32 user32 gdi32 uuid ntdll)

# Whether the installer can unpack compressed entries: each stub links one of the two.
add_library(tazel_no_decoder OBJECT payload/NoDecoding.cpp)
add_library(tazel_lzma_decoding OBJECT payload/Decoding.cpp)
foreach(decoding tazel_no_decoder tazel_lzma_decoding)
    target_link_libraries(${decoding} PRIVATE tazel_win32)
endforeach()

# The allocation functions and the library's throw helpers (see the file). Linked into each
# installer as objects, ahead of the libraries, rather than kept in an archive.
add_library(tazel_cxx_runtime OBJECT host/CxxRuntime.cpp)
target_link_libraries(tazel_cxx_runtime PRIVATE tazel_installer_options)
target_include_directories(tazel_cxx_runtime PRIVATE ${CMAKE_SOURCE_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/TazelPackage.cmake)

# The installer's code, carrying no package: what the packers put packages into. The product's
# stub, and the one for compressed packages, which carries the decoder as well.
tazel_add_stub(TazelStub)
tazel_add_stub(TazelStubLzma DECODING tazel_lzma_decoding)
# The product: its sources are the card art the native build draws.
tazel_add_package(TazelDeck DESCRIPTION ${CMAKE_SOURCE_DIR}/resources/TazelDeck.package SOURCES ${TAZEL_ART_DIR})
# The package maker for Windows, carrying the stub.
add_subdirectory(packer)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/packages/CMakeLists.txt)
    add_subdirectory(tests/packages)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/driver/CMakeLists.txt)
    add_subdirectory(tests/e2e/driver)
    add_subdirectory(tests/e2e/planted)
endif()
add_subdirectory(bench)
