# Install rules and the Debian package (cpack -G DEB). Included from the top-level
# CMakeLists.txt once every program target exists, so that the desktop program's files are
# installed only when it is built.
# Debian keeps a package's documentation, its copyright and its changelog in one folder named
# after the package.
# GNUInstallDirs names the folder after the CMake project (DownloadUtility) and may already
# have been included by a program's folder, so the name is set here, after it, for every
# install rule below.
set(DLU_PACKAGE_NAME "download-utility")
include(GNUInstallDirs)
set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATADIR}/doc/${DLU_PACKAGE_NAME}")
# Who answers for the Debian package: its Maintainer field and the changelog's signature.
set(DLU_PACKAGE_MAINTAINER "Download Utility developers <download-utility@example.org>"
  CACHE STRING "maintainer of the Debian package, as Name <address>")

install(TARGETS dlutil plcsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages, compressed as Debian keeps them.
set(dlu_man_pages)
set(dlu_pages dlutil.1 plcsim.1)
if(TARGET downloader)
  list(APPEND dlu_pages downloader.1)
endif()
foreach(page ${dlu_pages})
  set(source ${PROJECT_SOURCE_DIR}/packaging/man/${page})
  set(packed ${PROJECT_BINARY_DIR}/packaging/man/${page}.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging/man
    COMMAND gzip -9n -c ${source} > ${packed}
    DEPENDS ${source} VERBATIM)
  list(APPEND dlu_man_pages ${packed})
endforeach()
add_custom_target(dlu_man_pages ALL DEPENDS ${dlu_man_pages})
install(FILES ${dlu_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/dlutil
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The copyright file as it is, the changelog compressed, both where Debian looks for them.
set(dlu_changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${dlu_changelog} @ONLY)
add_custom_command(OUTPUT ${dlu_changelog}.gz
  COMMAND gzip -9n -c ${dlu_changelog} > ${dlu_changelog}.gz
  DEPENDS ${dlu_changelog} VERBATIM)
add_custom_target(dlu_changelog ALL DEPENDS ${dlu_changelog}.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${dlu_changelog}.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The udev rule that lowers USB-serial adapters' latency timers: an example an administrator
# copies to /etc/udev/rules.d/, not a rule in force (it changes every FTDI adapter on the
# machine, which is the administrator's choice).
set(dlu_udev_rule 60-download-utility-usb-serial-latency.rules)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/${dlu_udev_rule}
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The desktop program with its desktop entry, icon and the MIME type of download packages.
# dlu_packaged lists what the guarded rules add (paths below the prefix), for the package test.
set(dlu_packaged)
set(dlu_data ${PROJECT_SOURCE_DIR}/data)
if(TARGET downloader)
  install(TARGETS downloader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND dlu_packaged ${CMAKE_INSTALL_BINDIR}/downloader)
  foreach(item "downloader.desktop;applications;downloader.desktop"
      "downloader.svg;icons/hicolor/scalable/apps;downloader.svg"
      "downloader-mime.xml;mime/packages;downloader.xml")
    list(GET item 0 source)
    list(GET item 1 folder)
    list(GET item 2 name)
    if(EXISTS ${dlu_data}/${source})
      install(FILES ${dlu_data}/${source} DESTINATION ${CMAKE_INSTALL_DATADIR}/${folder}
        RENAME ${name})
      list(APPEND dlu_packaged ${CMAKE_INSTALL_DATADIR}/${folder}/${name})
    endif()
  endforeach()
endif()

list(APPEND dlu_packaged ${CMAKE_INSTALL_DOCDIR}/examples/${dlu_udev_rule})

# The Wireshark dissector of `dlutil --trace X.pcapng` captures, in Wireshark's global Lua
# plugin folder (Wireshark loads every .lua file there at its start).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/wireshark/loader.lua
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
list(APPEND dlu_packaged ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins/loader.lua)

# The user manual (HTML with its pictures), wherever it stands in docs/.
set(dlu_docs ${PROJECT_SOURCE_DIR}/docs)
if(IS_DIRECTORY ${dlu_docs}/manual)
  install(DIRECTORY ${dlu_docs}/manual/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual)
  file(GLOB dlu_manual_pages RELATIVE ${dlu_docs} ${dlu_docs}/manual/*.html)
  list(TRANSFORM dlu_manual_pages PREPEND ${CMAKE_INSTALL_DOCDIR}/)
  list(APPEND dlu_packaged ${dlu_manual_pages})
elseif(EXISTS ${dlu_docs}/manual.html)
  install(FILES ${dlu_docs}/manual.html DESTINATION ${CMAKE_INSTALL_DOCDIR})
  list(APPEND dlu_packaged ${CMAKE_INSTALL_DOCDIR}/manual.html)
  if(IS_DIRECTORY ${dlu_docs}/screenshots)
    install(DIRECTORY ${dlu_docs}/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}
      FILES_MATCHING PATTERN "*.png")
  endif()
endif()

# The desktop program's own rules put a second copy of the manual in share/doc/downloader,
# where its Help looks for it. One folder is kept: the package's; the old place becomes a
# link to it, so that Help still finds the manual. (These rules run after the program's.)
if(TARGET downloader)
  install(CODE "
    set(dlu_doc_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/doc\")
    if(NOT IS_SYMLINK \"\${dlu_doc_root}/downloader\")
      file(REMOVE_RECURSE \"\${dlu_doc_root}/downloader\")
    endif()
    file(CREATE_LINK ${DLU_PACKAGE_NAME} \"\${dlu_doc_root}/downloader\" SYMBOLIC)
  ")
endif()

# One Debian package. dpkg-shlibdeps works out the library packages, so that
# `apt install ./download-utility_*.deb` brings in Qt, OpenSSL, zlib and minizip.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${DLU_PACKAGE_NAME}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Download Utility developers")
set(CPACK_PACKAGE_CONTACT "${DLU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DLU_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "puts projects into PLCs and backs up and restores their device memory")
# One line of the extended description each; Debian wants them under 80 characters.
set(dlu_description
  "dlutil opens download packages and downloads their projects into PLCs over"
  "serial lines, modems, Ethernet or USB, and backs up and restores their device"
  "memory. plcsim is a PLC simulator for tests, demos and users without hardware.")
if(TARGET downloader)
  list(APPEND dlu_description
    "downloader is the desktop program, in Korean or English.")
endif()
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${dlu_description})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET downloader)
  # The windowing plugins are a recommendation of Qt's GUI library only; without them the
  # desktop program cannot open a window. Qt's own translations give its dialogs' buttons
  # Korean captions; without a Hangul font Korean texts show as boxes.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum")
endif()
include(CPack)

# The package built and unpacked as apt would install it, its programs run from there. It
# takes a few seconds (cpack, dpkg-shlibdeps), so it has a label of its own.
if(DLU_BUILD_TESTS)
  add_test(NAME deb_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/deb_package_test.sh ${PROJECT_BINARY_DIR}
      ${PROJECT_VERSION} ${dlu_packaged})
  set_tests_properties(deb_package PROPERTIES LABELS package TIMEOUT 300)
endif()
