# The Debian package (cpack -G DEB, from a build configured with -DQUILLET_PACKAGE=ON and
# -DCMAKE_INSTALL_PREFIX=/usr): the quillet program, the Quillet application (its desktop entry and
# icon; it registers its own start at login when it runs), the web-mail host (its browser
# manifests are installed per user with `quillet-webmail-host --install`), their resources in
# share/quillet/Resources (where they find them without --bundle), a man page written from
# quillet's --help, bash completion and a systemd user unit that keeps `quillet run` going after
# login unless the application does. tools/package-test.sh builds, checks, installs and removes it.
include(GNUInstallDirs)

set(packaging ${PROJECT_SOURCE_DIR}/tools/packaging)
set(manpage ${CMAKE_BINARY_DIR}/quillet.1.gz)
add_custom_command(OUTPUT ${manpage}
  COMMAND help2man --no-info --section=1
    "--name=install HTML email signatures into desktop mail clients"
    --output=${CMAKE_BINARY_DIR}/quillet.1 $<TARGET_FILE:quillet>
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/quillet.1
  DEPENDS quillet quillet_resources
  COMMENT "Writing the man page from quillet --help")
add_custom_target(quillet_manpage ALL DEPENDS ${manpage})

# `quillet demo` starts quillet-signature-service from the command's own folder.
install(TARGETS quillet quillet-signature-service quillet-webmail-host
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The programs load their modules from ../lib/quillet, seen from their own folder.
install(TARGETS quillet-network quillet-dbus LIBRARY DESTINATION lib/quillet)
if(TARGET Quillet)
  # The application starts quillet-preview from its own folder for each preview.
  install(TARGETS Quillet quillet-preview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/app/ui/desktop/quillet.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/app/ui/desktop/quillet.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The X11 and Wayland platform plugins are no library the program links.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
install(DIRECTORY ${QUILLET_RESOURCES_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quillet/Resources)
install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/quillet.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quillet)
install(FILES ${packaging}/quillet.service DESTINATION lib/systemd/user)

# Installing from the package builds nothing but what it holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "install HTML email signatures into desktop mail clients")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillet installs HTML email signatures, from a signature service or a local file, into the\n"
  "desktop mail clients (on Linux: Thunderbird, Evolution, KMail and Geary) and keeps them\n"
  "current.")
set(CPACK_PACKAGE_CONTACT "Quillet <support@quillet.app>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS thunderbird)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/postinst ${packaging}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
