# SPDX-License-Identifier: MIT
# What `make install` and `make package` ship.
#
# Linux (`cmake --install`, and the .deb CPack makes of it):
#   bin/surround-host
#   lib/quorveil-surround/libquorveil_surround.so   the plug-in library, found by
#                                                    surround-host from its own folder
#   lib/lv2/<name>.lv2/                              LV2 bundles, once the build makes them
#   share/quorveil-surround/pipewire/*.conf          the upmix as a PipeWire sink, per layout
#   share/man/man1/surround-host.1.gz                from its --help (help2man)
#   share/doc/quorveil-surround/                     README, the pages it links (docs/,
#                                                    ARCHITECTURE.md), LICENSE, licence
#                                                    texts, copyright
# Windows (the host's own target, a zip): quorveil_surround.dll, INSTALL.txt,
# LICENSE.txt, in one folder named after the zip.
set(CMAKE_INSTALL_DOCDIR share/doc/quorveil-surround)
include(GNUInstallDirs)
set(QUORVEIL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/quorveil-surround)
set(QUORVEIL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quorveil-surround)

set(CPACK_PACKAGE_NAME quorveil-surround)
set(CPACK_PACKAGE_VENDOR "quorveil.audio")
set(CPACK_PACKAGE_CONTACT "Quorveil Surround <surround@quorveil.audio>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Surround-sound modules and surround-host, a command-line host")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

if(WIN32)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/INSTALL-WINDOWS.txt
                 ${CMAKE_BINARY_DIR}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSES/MIT.txt ${CMAKE_BINARY_DIR}/LICENSE.txt
                 NEWLINE_STYLE CRLF)
  install(TARGETS quorveil_surround RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/INSTALL.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quorveil-surround-${PROJECT_VERSION}-win32)
  # One top folder, so unpacking never scatters files into the current one.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  install(TARGETS quorveil_surround LIBRARY DESTINATION ${QUORVEIL_PLUGIN_DIR})
  if(TARGET surround-host)
    install(TARGETS surround-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # An installed surround-host finds the library by this path from its own
    # folder, wherever the prefix is.
    file(RELATIVE_PATH QUORVEIL_LIBRARY_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
         ${CMAKE_INSTALL_PREFIX}/${QUORVEIL_PLUGIN_DIR})
    target_compile_definitions(quorveil_cli PRIVATE
      QUORVEIL_LIBRARY_FROM_PROGRAM="${QUORVEIL_LIBRARY_FROM_PROGRAM}")

    find_program(QUORVEIL_HELP2MAN help2man)
    if(QUORVEIL_HELP2MAN AND NOT QUORVEIL_SANITIZE)
      add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/surround-host.1.gz
        COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-manpage.sh $<TARGET_FILE:surround-host>
                ${CMAKE_BINARY_DIR}/surround-host.1.gz
        DEPENDS surround-host quorveil_surround ${CMAKE_SOURCE_DIR}/scripts/make-manpage.sh
        COMMENT "Manual page from surround-host --help")
      add_custom_target(surround-host-manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/surround-host.1.gz)
      install(FILES ${CMAKE_BINARY_DIR}/surround-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endif()
  # LV2 bundles: each <name>.lv2 folder the build leaves in build/<tree>/lv2.
  # Under lib/lv2 whatever the multiarch library folder: where LV2 hosts look
  # by default (/usr/lib/lv2, /usr/local/lib/lv2).
  install(DIRECTORY ${CMAKE_BINARY_DIR}/lv2/ DESTINATION lib/lv2 OPTIONAL)
  # PipeWire sinks of the upmix, one per output layout, for users to link
  # into ~/.config/pipewire/pipewire.conf.d/ (docs/desktop-and-players.md).
  install(DIRECTORY ${CMAKE_BINARY_DIR}/pipewire/ DESTINATION ${QUORVEIL_DATA_DIR}/pipewire
          OPTIONAL FILES_MATCHING PATTERN "*.conf")
  # The README with the pages it links beside it, so its links hold once
  # installed.
  install(FILES README.md ARCHITECTURE.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(DIRECTORY LICENSES DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "Six surround modules for a modular audio host (Clip4_6, ArcTan4_6, Slice4_6, CC4_6, \
Constant Power Panner 4.6, ATF4_6) as a plug-in library, and surround-host, which lists, \
describes and renders them and upmixes stereo or mono to surround (3.0 to 7.1) from the command line.")
endif()
include(CPack)
