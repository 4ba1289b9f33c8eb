# Debian's hardening of the programs: stack protector, fortified libc calls, stack-clash
# and control-flow protection, read-only relocations bound at start-up, and PIE. On by
# default in every build but Debug (and never with the sanitizers or the fuzz targets,
# which bring their own checks); the package is built with it.
#
# The flags come from dpkg-buildflags with all hardening features where it exists, as
# Debian builds its packages; the features an older dpkg leaves out, and the whole set
# where there is no dpkg, are added directly.

set(dirquill_harden_default ON)
if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR DIRQUILL_SANITIZE OR DIRQUILL_BUILD_FUZZ)
  set(dirquill_harden_default OFF)
endif()
option(DIRQUILL_HARDEN "Build with Debian's hardening flags" ${dirquill_harden_default})
if(NOT DIRQUILL_HARDEN)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

set(dirquill_compile_flags)
set(dirquill_link_flags)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  foreach(kind IN ITEMS CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      continue()
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # The build type chooses optimisation and debug information, and the path maps
    # (made from the folder dpkg-buildflags runs in) are set in Reproducible.cmake.
    list(FILTER flags EXCLUDE REGEX "^-g|^-O|prefix-map=")
    if(kind STREQUAL "LDFLAGS")
      list(APPEND dirquill_link_flags ${flags})
    else()
      list(APPEND dirquill_compile_flags ${flags})
    endif()
  endforeach()
endif()

foreach(flag IN ITEMS -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fstack-clash-protection
                      -fcf-protection -Wformat -Werror=format-security)
  if(NOT flag IN_LIST dirquill_compile_flags)
    string(MAKE_C_IDENTIFIER "DIRQUILL_HAS${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
      list(APPEND dirquill_compile_flags ${flag})
    endif()
  endif()
endforeach()
foreach(flag IN ITEMS -Wl,-z,relro -Wl,-z,now)
  if(NOT flag IN_LIST dirquill_link_flags)
    list(APPEND dirquill_link_flags ${flag})
  endif()
endforeach()

# Most of the program's buffers are containers whose size the compiler only knows at run
# time; level 3 (Debian's default from dpkg 1.22 on) checks the libc calls on them too,
# where level 2 checks only buffers of a size fixed when compiling.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  list(TRANSFORM dirquill_compile_flags REPLACE "^-D_FORTIFY_SOURCE=2$" "-D_FORTIFY_SOURCE=3")
  list(PREPEND dirquill_compile_flags -U_FORTIFY_SOURCE)
endif()

# Every object compiled with -fcf-protection is marked as ready for indirect-branch
# tracking and shadow stacks, but Debian 12's C start files (crti.o, crtn.o) are not,
# and the linker keeps a mark only when every input has it; so it is set explicitly.
if("-fcf-protection" IN_LIST dirquill_compile_flags)
  check_linker_flag(CXX "-Wl,-z,ibt,-z,shstk" DIRQUILL_HAS_CET_MARKS)
  if(DIRQUILL_HAS_CET_MARKS)
    list(APPEND dirquill_link_flags -Wl,-z,ibt -Wl,-z,shstk)
  endif()
endif()

add_compile_options(${dirquill_compile_flags})
add_link_options(${dirquill_link_flags})
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported()
message(STATUS "Hardening: ${dirquill_compile_flags} ${dirquill_link_flags} PIE")
