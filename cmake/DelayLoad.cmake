# Delay-loaded system DLLs. At start the programs import only kernel32, advapi32 and msvcrt, which
# Windows always takes from the system folder (KnownDLLs) and a runner needs at once. Every other
# DLL is loaded on its first call by the delay-load helper, whose hook (src/app/DelayLoadHook.cpp)
# takes it, and what it imports, from the system folder only, never from the program's own folder
# where a planted copy could lie. A runner thus starts without the window's DLLs.
#
# velquist_delay_import(<dll>...) defines the imported library velquist::delay_<dll> for each: a
# delay-import library made with dlltool from the names MinGW's own import library exports.

# CMake's MinGW defaults link user32, shell32, ole32 and more into every target, and a normal
# import found first silently wins over a delay import: only what the start needs stays.
set(CMAKE_C_STANDARD_LIBRARIES "-lkernel32 -ladvapi32")
set(CMAKE_CXX_STANDARD_LIBRARIES "${CMAKE_C_STANDARD_LIBRARIES}")

# The binutils beside the compiler: i686-w64-mingw32-dlltool for i686-w64-mingw32-g++-posix.
get_filename_component(compilerName ${CMAKE_CXX_COMPILER} NAME)
string(REGEX REPLACE "g\\+\\+.*$" "" toolPrefix "${compilerName}")
find_program(VELQUIST_DLLTOOL NAMES ${toolPrefix}dlltool dlltool REQUIRED)
find_program(VELQUIST_NM NAMES ${toolPrefix}nm nm REQUIRED)
find_program(VELQUIST_OBJCOPY NAMES ${toolPrefix}objcopy objcopy REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit names are decorated (Name@8); the name looked up in the DLL is not.
  set(VELQUIST_DLLTOOL_FLAGS -k)
  set(delayX86 ON)
  # The 32-bit linker drops the code section of any import-library member whose function symbol
  # nobody names, taking it for an unused `jmp *__imp_X` stub: our calls name only __imp_X, so the
  # delay thunk, which each delay slot points at until its first call, went and every slot jumped
  # to 0. Marked as data, the thunk is no such stub; it still lands in .text (by its name .text$*).
  set(delayThunkSection ".text=.text$delay,contents,alloc,load,readonly,data")
else()
  set(VELQUIST_DLLTOOL_FLAGS "")
  set(delayX86 OFF)
endif()

function(velquist_delay_import)
  foreach(dll IN LISTS ARGN)
    if(TARGET velquist::delay_${dll})
      continue()
    endif()
    find_library(VELQUIST_IMPORT_${dll} NAMES ${dll} REQUIRED NO_CACHE)
    set(def ${CMAKE_BINARY_DIR}/delayimp/${dll}.def)
    set(lib ${CMAKE_BINARY_DIR}/delayimp/lib${dll}_delay.a)
    set(keepThunks "")
    if(delayX86)
      set(keepThunks COMMAND ${VELQUIST_OBJCOPY} --rename-section ${delayThunkSection} ${lib})
    endif()
    add_custom_command(OUTPUT ${lib}
      COMMAND ${CMAKE_COMMAND} -DNM=${VELQUIST_NM} -DIMPORT_LIB=${VELQUIST_IMPORT_${dll}} -DDLL=${dll}.dll
              -DDEF=${def} -DX86=${delayX86} -P ${CMAKE_SOURCE_DIR}/cmake/DelayImportDef.cmake
      COMMAND ${VELQUIST_DLLTOOL} -d ${def} -y ${lib} ${VELQUIST_DLLTOOL_FLAGS}
      ${keepThunks}
      DEPENDS ${VELQUIST_IMPORT_${dll}} ${CMAKE_SOURCE_DIR}/cmake/DelayImportDef.cmake
      COMMENT "Delay-import library for ${dll}.dll"
      VERBATIM)
    add_custom_target(velquist_delay_${dll}_lib DEPENDS ${lib})
    add_library(velquist::delay_${dll} STATIC IMPORTED GLOBAL)
    set_target_properties(velquist::delay_${dll} PROPERTIES IMPORTED_LOCATION ${lib})
    add_dependencies(velquist::delay_${dll} velquist_delay_${dll}_lib)
    # The helper itself (__delayLoadHelper2) is MinGW's, in mingwex.
    target_link_libraries(velquist::delay_${dll} INTERFACE delayimp)
  endforeach()
endfunction()

# velquist_check_imports(<target>): after each link, fails the build when a function the program
# imports is an absolute symbol (a call that would jump to 0), and strips Release programs only then.
function(velquist_check_imports target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DNM=${VELQUIST_NM} -DOBJCOPY=${VELQUIST_OBJCOPY} -DPROGRAM=$<TARGET_FILE:${target}>
            -DDELAY_DIR=${CMAKE_BINARY_DIR}/delayimp -DSTRIP=$<CONFIG:Release> -P ${CMAKE_SOURCE_DIR}/cmake/CheckImports.cmake
    VERBATIM)
endfunction()
