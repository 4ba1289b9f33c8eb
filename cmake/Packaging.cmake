# Installation layout, the Debian package, and the checks of the pieces that
# are installed beside the programs. Included at the end of the top-level
# CMakeLists.txt, after the targets dirquill and dirquill-db are defined.

include(GNUInstallDirs)

# The program opens its two documents from the working folder under these
# names; the launcher copies them there from share/dirquill.
set(DIRQUILL_AGREEMENT_DOC "澄枫文件助手V1.0软件最终用户授权使用许可协议.doc")
set(DIRQUILL_HELP_DOC "澄枫文件助手V1.0软件使用帮助.doc")
set(DIRQUILL_DOCS_SOURCE_DIR ${CMAKE_SOURCE_DIR}/res/docs)

# --------------------------------------------------------------------------
# Installation

install(TARGETS dirquill dirquill-db dirquill-io RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_SOURCE_DIR}/tools/dirquill-launcher DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${DIRQUILL_DOCS_SOURCE_DIR}/license.rtf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dirquill
        RENAME ${DIRQUILL_AGREEMENT_DOC})
install(FILES ${DIRQUILL_DOCS_SOURCE_DIR}/help.rtf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dirquill
        RENAME ${DIRQUILL_HELP_DOC})

install(FILES ${CMAKE_SOURCE_DIR}/res/dirquill.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The PNGs are rendered from dirquill.svg by tools/make-icon.py.
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/dirquill-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME dirquill.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/res/icons/dirquill.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# A hint of lintian's that does not apply (the file says why).
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME dirquill)

install(FILES ${CMAKE_SOURCE_DIR}/res/dirquill.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME invalid.dirquill.dirquill.metainfo.xml)

# --------------------------------------------------------------------------
# The Debian documents: copyright, changelog and manual pages, the last two
# compressed as Debian installs them (gzip -9n: no name, no time stamp).

set(DIRQUILL_DEBIAN_DIR ${CMAKE_BINARY_DIR}/debian)
set(DIRQUILL_DEB_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/dirquill)

# The copyright file carries the licence agreement as its License paragraph,
# every line indented by one space and an empty line written as " .".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${DIRQUILL_DOCS_SOURCE_DIR}/license.txt)
file(READ ${DIRQUILL_DOCS_SOURCE_DIR}/license.txt DIRQUILL_LICENCE_TEXT)
string(REGEX REPLACE "\n+$" "" DIRQUILL_LICENCE_TEXT "${DIRQUILL_LICENCE_TEXT}")
string(REPLACE "\n" "\n " DIRQUILL_LICENCE_TEXT " ${DIRQUILL_LICENCE_TEXT}")
while(DIRQUILL_LICENCE_TEXT MATCHES "\n \n")
  string(REPLACE "\n \n" "\n .\n" DIRQUILL_LICENCE_TEXT "${DIRQUILL_LICENCE_TEXT}")
endwhile()
configure_file(${CMAKE_SOURCE_DIR}/res/debian/copyright.in ${DIRQUILL_DEBIAN_DIR}/copyright @ONLY)
install(FILES ${DIRQUILL_DEBIAN_DIR}/copyright DESTINATION ${DIRQUILL_DEB_DOC_DIR})

find_program(GZIP_PROGRAM gzip REQUIRED)
set(DIRQUILL_GZIPPED)
# dirquill_gzip(SOURCE OUTPUT): OUTPUT.gz is SOURCE compressed; built with "all".
function(dirquill_gzip source output)
  add_custom_command(OUTPUT ${output}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
    COMMAND ${GZIP_PROGRAM} -9nf ${output}
    DEPENDS ${source}
    VERBATIM)
  set(DIRQUILL_GZIPPED ${DIRQUILL_GZIPPED} ${output}.gz PARENT_SCOPE)
endfunction()

dirquill_gzip(${CMAKE_SOURCE_DIR}/res/debian/changelog ${DIRQUILL_DEBIAN_DIR}/changelog)
install(FILES ${DIRQUILL_DEBIAN_DIR}/changelog.gz DESTINATION ${DIRQUILL_DEB_DOC_DIR})

# English pages for every program; dirquill-io is the helper dirquill starts.
foreach(page IN ITEMS dirquill dirquill-db dirquill-launcher dirquill-io)
  dirquill_gzip(${CMAKE_SOURCE_DIR}/res/man/${page}.1 ${DIRQUILL_DEBIAN_DIR}/man1/${page}.1)
  install(FILES ${DIRQUILL_DEBIAN_DIR}/man1/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
dirquill_gzip(${CMAKE_SOURCE_DIR}/res/man/zh_CN/dirquill.1
              ${DIRQUILL_DEBIAN_DIR}/zh_CN/man1/dirquill.1)
install(FILES ${DIRQUILL_DEBIAN_DIR}/zh_CN/man1/dirquill.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)

add_custom_target(dirquill_debian_docs ALL DEPENDS ${DIRQUILL_GZIPPED})

# --------------------------------------------------------------------------
# Running from the build tree: the documents under their installed names in
# <build>/share/dirquill, and the launcher beside the built programs, so that
#   DIRQUILL_DATA_DIR=<build>/share/dirquill <build>/dirquill-launcher
# works without installing.

set(DIRQUILL_BUILD_DATA_DIR ${CMAKE_BINARY_DIR}/share/dirquill)
configure_file(${DIRQUILL_DOCS_SOURCE_DIR}/license.rtf
               ${DIRQUILL_BUILD_DATA_DIR}/${DIRQUILL_AGREEMENT_DOC} COPYONLY)
configure_file(${DIRQUILL_DOCS_SOURCE_DIR}/help.rtf
               ${DIRQUILL_BUILD_DATA_DIR}/${DIRQUILL_HELP_DOC} COPYONLY)
add_custom_command(TARGET dirquill POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/tools/dirquill-launcher
          $<TARGET_FILE_DIR:dirquill>/dirquill-launcher
  VERBATIM)

# --------------------------------------------------------------------------
# Checks of the documents, the desktop entry, the AppStream entry and the launcher

if(DIRQUILL_BUILD_TESTS)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_test(NAME docs_rtf
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make-rtf.py --check)
  endif()

  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/res/dirquill.desktop)
  endif()

  find_program(APPSTREAMCLI appstreamcli)
  if(APPSTREAMCLI)
    add_test(NAME appstream_metainfo
             COMMAND ${APPSTREAMCLI} validate --no-net
                     ${CMAKE_SOURCE_DIR}/res/dirquill.metainfo.xml)
  endif()

  add_test(NAME test_launcher
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/app/test_launcher.sh
                   $<TARGET_FILE:dirquill-db>
                   ${CMAKE_SOURCE_DIR}/tools/dirquill-launcher
                   ${DIRQUILL_BUILD_DATA_DIR})
  set_tests_properties(test_launcher PROPERTIES TIMEOUT 120)
endif()

# --------------------------------------------------------------------------
# Debian package: cpack -G DEB (or "cmake --build <build> --target package")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "dirquill")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Dirquill developers")
set(CPACK_PACKAGE_CONTACT "Dirquill developers <dev@dirquill.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dirquill developers <dev@dirquill.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The drives nobody has mounted yet come from the storage service, and Debian's udisks
# mounts NTFS through ntfs-3g where the kernel has no ntfs3 driver.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, ntfs-3g")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"column file browser with a list of work directories
Dirquill (Chinese user interface) shows five lists side by side. The first
lists the machine's drives, mounted or not (a click mounts one through
udisks), and a list of work directories the user has
saved; each of the other four lists the contents of the folder selected in
the list to its left, hidden entries included, so four levels of folders
are visible at once. A double click opens any entry with the desktop's
default application.
.
From the context menus the user can create folders, rename entries without
ever replacing an existing one, and move files or whole folders to the
desktop trash; nothing is deleted permanently. Work directories are kept in
a small SQLite database in the user's data folder, which the
dirquill-launcher script prepares on every start.")

# The same sources give the same .deb: cpack dates the files and archives by
# SOURCE_DATE_EPOCH.
set(CPACK_DIRQUILL_SOURCE_DATE_EPOCH ${DIRQUILL_SOURCE_DATE_EPOCH})
# Folders the installation creates get the same mode whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/CPackOptions.cmake)

include(CPack)
