# Read by cpack before it builds the package: the package's dates are the release's date
# (Reproducible.cmake), unless the builder sets SOURCE_DATE_EPOCH itself.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_DIRQUILL_SOURCE_DATE_EPOCH}")
endif()
