# The Windows side of the build (mingw-w64 cross compiler): GLEW compiled from Debian's
# source package into a static library, and the settings that make Quellix.dll stand alone.

enable_language(C)
enable_language(RC)

# GLEW's source: fetched into a cache outside the tree when no folder is given.
set(QUELLIX_GLEW_SOURCE_DIR "" CACHE PATH "Unpacked GLEW source (src/glew.c, include/GL/glew.h)")
if(NOT QUELLIX_GLEW_SOURCE_DIR)
  execute_process(
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/fetch-glew.sh
    OUTPUT_VARIABLE fetched_glew
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "Fetching GLEW's source failed (scripts/fetch-glew.sh)")
  endif()
  set(QUELLIX_GLEW_SOURCE_DIR "${fetched_glew}" CACHE PATH
    "Unpacked GLEW source (src/glew.c, include/GL/glew.h)" FORCE)
endif()
if(NOT EXISTS "${QUELLIX_GLEW_SOURCE_DIR}/src/glew.c")
  message(FATAL_ERROR "No src/glew.c in QUELLIX_GLEW_SOURCE_DIR=${QUELLIX_GLEW_SOURCE_DIR}")
endif()

find_package(OpenGL REQUIRED COMPONENTS OpenGL)

# GLEW_STATIC: the loader goes into the DLL, which then needs no glew32.dll.
add_library(quellix_glew STATIC ${QUELLIX_GLEW_SOURCE_DIR}/src/glew.c)
target_include_directories(quellix_glew PUBLIC ${QUELLIX_GLEW_SOURCE_DIR}/include)
target_compile_definitions(quellix_glew PUBLIC GLEW_STATIC)
target_compile_options(quellix_glew PRIVATE -w)  # third-party code, not ours to warn about
target_link_libraries(quellix_glew PUBLIC OpenGL::GL)
set(GLEW_LIBRARY quellix_glew)
set(GLEW_INCLUDE_DIR ${QUELLIX_GLEW_SOURCE_DIR}/include)

# Windows programs and the DLL carry libgcc, libstdc++ and winpthread inside them, so
# they need nothing beside them but system DLLs.
set(QUELLIX_WINDOWS_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The module: exactly the exports the .def file names, the runtime linked in, and a
# version resource that hosts and Explorer show.
function(quellix_windows_module target)
  set(QUELLIX_VERSION_COMMA "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
  set(QUELLIX_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
  configure_file(${PROJECT_SOURCE_DIR}/src/host/version.rc.in
    ${PROJECT_BINARY_DIR}/quellix_version.rc @ONLY)
  target_sources(${target} PRIVATE
    ${PROJECT_SOURCE_DIR}/src/host/exports.def
    ${PROJECT_BINARY_DIR}/quellix_version.rc)
  target_link_options(${target} PRIVATE ${QUELLIX_WINDOWS_STATIC_RUNTIME} "LINKER:--no-undefined")
endfunction()
