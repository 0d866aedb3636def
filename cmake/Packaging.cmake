# Installation and the Debian package.
#
# `cmake --install build --prefix P` lays out the prefix the agent finds its
# files in (PrefixInstallLayout):
#   P/bin/velmar-desktop-agent
#   P/share/velmar/                 config.json (when present), core.mjs, signin/, icons/,
#                                   autostart/velmar-desktop-agent.desktop (a template)
#   P/share/applications/velmar-desktop-agent.desktop   with the fernhollow: link scheme
#   P/share/icons/hicolor/scalable/apps/velmar-status.svg
#   P/libexec/velmar/               auxiliary executables (none shipped: node comes from nodejs)
# The developer tools install only on request:
#   cmake --install build --component developer-tools
# `cpack --config build/CPackConfig.cmake` (or `cmake --build build --target package`)
# makes the Debian package of the default component.

include(GNUInstallDirs)

set(VELMAR_APP_ID velmar-desktop-agent)
set(VELMAR_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/velmar)

install(TARGETS velmar-desktop-agent RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT agent)

# The resources, as the build tree sees them through build/share/velmar. The
# core is installed from its source (resources/core.mjs is a link to it), the
# desktop entry goes where desktops look for it.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION ${VELMAR_SHARE_DIR} COMPONENT agent
        PATTERN README.md EXCLUDE
        PATTERN core.mjs EXCLUDE
        PATTERN ${VELMAR_APP_ID}.desktop EXCLUDE)
# Executable as its first line says (the agent starts it through node all the same).
install(PROGRAMS ${CMAKE_SOURCE_DIR}/core/core.mjs DESTINATION ${VELMAR_SHARE_DIR} COMPONENT agent)
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmar COMPONENT agent)

# The desktop entry registers the application's link scheme (fernhollow:).
install(FILES ${CMAKE_SOURCE_DIR}/resources/${VELMAR_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT agent)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velmar-status.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT agent)

# The autostart entry the agent writes for launch at login, for an
# administrator who wants it for every user (copy it to /etc/xdg/autostart).
# It names the installed executable, so it is written at install time, when
# the prefix is known (a package's prefix is not the one configured).
install(CODE "
  set(VELMAR_AUTOSTART_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${VELMAR_APP_ID}\")
  set(_velmar_entry \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMAR_SHARE_DIR}/autostart/${VELMAR_APP_ID}.desktop\")
  message(STATUS \"Installing: \${_velmar_entry}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/autostart.desktop.in\" \"\${_velmar_entry}\" @ONLY)
" COMPONENT agent)

# The manual page and the package's documents, compressed as Debian keeps them.
set(VELMAR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VELMAR_APP_ID})
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${VELMAR_APP_ID}.1.gz ${CMAKE_BINARY_DIR}/doc/changelog.gz
                   COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${CMAKE_SOURCE_DIR}/docs/man/${VELMAR_APP_ID}.1
                           ${CMAKE_BINARY_DIR}/doc/${VELMAR_APP_ID}.1.gz
                   COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${CMAKE_BINARY_DIR}/doc/changelog
                           ${CMAKE_BINARY_DIR}/doc/changelog.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${VELMAR_APP_ID}.1 ${CMAKE_BINARY_DIR}/doc/changelog
                   VERBATIM)
add_custom_target(velmar_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/${VELMAR_APP_ID}.1.gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/${VELMAR_APP_ID}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT agent)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${VELMAR_DOC_DIR} COMPONENT agent)

# Developer tools: not part of the package users get.
foreach(tool velmar-fixture-check velmar-replay velmar-fixture-scrub)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT developer-tools EXCLUDE_FROM_ALL)
  endif()
endforeach()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELMAR_APP_ID})
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Records the conversations held with AI chat assistants for your organisation")
set(CPACK_PACKAGE_DESCRIPTION
    "The Velmar desktop agent runs in the background of the desktop session,\n"
    "reads AI chat windows and browser tabs through the accessibility bus\n"
    "(AT-SPI), and hands one record per completed prompt and reply to its core\n"
    "process. The bundled local core keeps them in\n"
    "~/.local/share/velmar/turns.jsonl.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmar developers <dev@velmar.example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries it links, found by dpkg-shlibdeps; the core runs on node; the
# accessibility bus is how it reads other applications.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "nodejs, at-spi2-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring")
include(CPack)

if(VELMAR_BUILD_TESTS)
  # The package made, unpacked with dpkg -x and the agent started from it.
  add_test(NAME package_install
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/package-install.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(package_install PROPERTIES TIMEOUT 300)
  # The README's first command without a desktop, on this build: the headless
  # demonstration ends by printing the captured turn.
  add_test(NAME run_demo
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/run-demo.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(run_demo PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK chromium_desktop)
endif()
