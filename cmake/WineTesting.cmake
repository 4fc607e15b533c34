# Tests run through Wine, each build tree with a private prefix created once: a 64-bit (WoW64) one
# for both builds, so that each program can start the other as the runner of the other bitness.
set(VELQUIST_WINEARCH win64)
set(VELQUIST_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/cmake/wine-run --prefix ${VELQUIST_WINEPREFIX} --arch ${VELQUIST_WINEARCH})

# The Windows form of a path in this tree, as Wine's Z: drive shows it.
function(velquist_windows_path out unixPath)
  string(REPLACE "/" "\\\\" winPath "Z:${unixPath}")
  set(${out} "${winPath}" PARENT_SCOPE)
endfunction()

add_test(NAME wine_prefix_up COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
add_test(NAME wine_prefix_down COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --shutdown)
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine)

# What a GoogleTest program prints once it has run its tests, passed or failed: a test program that
# ends without it never ran them (wine-run --expect).
set(VELQUIST_GTEST_END "^\\[==========\\] [0-9]+ tests? from .* ran\\.")

# velquist_add_test(NAME SOURCES ... [LIBS ...] [GUI] [TIMEOUT s]): one GoogleTest program, one CTest
# entry run under Wine. GUI programs carry the application's resources (manifest, icons, version).
function(velquist_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    velquist_add_resources(${name})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} velquist_test_support gtest_main velquist_options)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # Every test may start the runners.
  add_dependencies(${name} velquist)
  add_test(NAME ${name}
           COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --expect ${VELQUIST_GTEST_END} $<TARGET_FILE:${name}> --gtest_color=no)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT})
endfunction()
