# The same sources give the same package, built in any folder at any time:
# - SOURCE_DATE_EPOCH, the date of the release's changelog entry, stands for "now" (the
#   package's file dates, the embedded resources), unless the builder sets it;
# - the source and build folders are left out of the binaries (-ffile-prefix-map), and
#   the linker's build ID follows from the rest.
# Debug builds keep their paths, so that a debugger finds the sources.

set(DIRQUILL_CHANGELOG ${CMAKE_SOURCE_DIR}/res/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DIRQUILL_CHANGELOG})
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(DIRQUILL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  # The date of the first entry: its closing line " -- Name <mail>  Mon, 01 Jan 2026 ...".
  file(STRINGS ${DIRQUILL_CHANGELOG} trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
  string(REGEX REPLACE "^ -- .*>  " "" date "${trailer}")
  execute_process(COMMAND date -u -d "${date}" +%s
                  OUTPUT_VARIABLE DIRQUILL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT DIRQUILL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No date in the first entry of ${DIRQUILL_CHANGELOG}")
  endif()
endif()
# CPack and the tools it runs read it from the environment.
set(ENV{SOURCE_DATE_EPOCH} ${DIRQUILL_SOURCE_DATE_EPOCH})

if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  # The build folder last: it is often inside the source folder, and the last match wins.
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endif()

# Every command the build runs besides the compiler and linker (rcc embedding the icon
# with its date, the documents' gzip) sees the same date.
set_property(DIRECTORY PROPERTY RULE_LAUNCH_CUSTOM
             "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${DIRQUILL_SOURCE_DATE_EPOCH}")
