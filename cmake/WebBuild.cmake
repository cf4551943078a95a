# The package maker's page (packer/web/), built with emscripten (emcmake) after the Windows build,
# whose stubs its module carries, and the native one, whose card art gives the kit's icon and
# picture (scripts/build.sh). Included before any target, so every object gets these options.

set(TAZEL_ART_DIR "" CACHE PATH "Folder holding the generated window picture and icon")
set(TAZEL_WIN_BUILD_ROOT "" CACHE PATH "Folder holding the win-i686 build, whose stubs the page carries")
foreach(needed TAZEL_ART_DIR TAZEL_WIN_BUILD_ROOT)
    if(NOT IS_DIRECTORY "${${needed}}")
        message(FATAL_ERROR "${needed} must name a folder of the native or Windows build (scripts/build.sh)")
    endif()
endforeach()

# The page's main build runs its jobs on threads, which need a cross-origin isolated page; the
# same sources without threads serve a host that cannot isolate it (packer/web/CMakeLists.txt).
option(TAZEL_WEB_THREADS "Build the page's module with threads" ON)
# The module's pool of workers; a page runs at most this many threads at once.
set(TAZEL_WEB_MOST_THREADS 4)

# WebAssembly's own exceptions: running out of memory is then the packer's refusal, where the
# default mode would end the module.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)
if(TAZEL_WEB_THREADS)
    add_compile_options(-pthread)
    add_link_options(-pthread)
    add_compile_definitions(TAZEL_MOST_JOB_THREADS=${TAZEL_WEB_MOST_THREADS})
else()
    add_compile_definitions(TAZEL_MOST_JOB_THREADS=1)
endif()
