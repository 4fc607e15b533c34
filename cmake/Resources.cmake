# The application's resources (manifest, version record, icons): the files generated from project()'s
# VERSION, the one place the version is written, and velquist_add_resources() that links them in.

# major.minor.patch.build, each a 16-bit number of the version record.
foreach(part MAJOR MINOR PATCH TWEAK)
  if(NOT PROJECT_VERSION_${part} MATCHES "^[0-9]+$" OR PROJECT_VERSION_${part} GREATER 65535)
    message(FATAL_ERROR "project() VERSION must have four numbers up to 65535, not '${PROJECT_VERSION}'")
  endif()
endforeach()
# The text the version record shows: major, the minor in two digits, the build in four ("1.01.0001").
if(PROJECT_VERSION_MINOR GREATER 99 OR PROJECT_VERSION_TWEAK GREATER 9999)
  message(FATAL_ERROR "The version's text shows two digits of the minor and four of the build: '${PROJECT_VERSION}'")
endif()
string(REGEX REPLACE "^.*(..)$" "\\1" minorText "0${PROJECT_VERSION_MINOR}")
string(REGEX REPLACE "^.*(....)$" "\\1" buildText "000${PROJECT_VERSION_TWEAK}")
set(VELQUIST_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${minorText}.${buildText}")

set(VELQUIST_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${VELQUIST_GENERATED_DIR}/version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/velquist.manifest.in ${VELQUIST_GENERATED_DIR}/velquist.manifest @ONLY)

set(VELQUIST_RC ${CMAKE_SOURCE_DIR}/resources/velquist.rc)
file(GLOB VELQUIST_RC_INPUTS ${CMAKE_SOURCE_DIR}/resources/*.ico)
list(APPEND VELQUIST_RC_INPUTS ${CMAKE_SOURCE_DIR}/resources/resource.h
     ${VELQUIST_GENERATED_DIR}/version.h ${VELQUIST_GENERATED_DIR}/velquist.manifest)

# velquist_add_resources(TARGET): the program's resources in TARGET (the program, GUI tests, tools).
# windres reports no dependencies, so they are named here: an icon, the header or a generated file
# that changes rebuilds the resources (generated files are rewritten only when their text changes).
function(velquist_add_resources target)
  target_sources(${target} PRIVATE ${VELQUIST_RC})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources ${VELQUIST_GENERATED_DIR})
  set_source_files_properties(${VELQUIST_RC} TARGET_DIRECTORY ${target}
                              PROPERTIES OBJECT_DEPENDS "${VELQUIST_RC_INPUTS}")
endfunction()
