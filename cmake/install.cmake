# Pelmira installs as one folder, the way Horvex expects its helper: both programs, the help
# file beside them (where they look for it), a desktop entry and an icon.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/pelmira CACHE PATH "Installation folder" FORCE)
endif()

install(TARGETS pelmira-cli RUNTIME DESTINATION .)
if(TARGET pelmira)
  install(TARGETS pelmira RUNTIME DESTINATION .)
endif()
if(PELMIRA_HELP_FILE)
  install(FILES ${PELMIRA_HELP_FILE} DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmira.desktop ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg
        DESTINATION .)

set(CPACK_PACKAGE_NAME pelmira)
set(CPACK_PACKAGE_VENDOR "Pelmira")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Exportar e importar datos entre Horvex e ITACA")
set(CPACK_PACKAGE_CONTACT "Pelmira <pelmira@localhost>")
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/pelmira)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
