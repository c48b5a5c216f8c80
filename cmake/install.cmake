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

# Qt's own texts in Spanish (Debian's qt6-translations-l10n), in "translations" beside the
# program, where the window looks first.
if(TARGET pelmira)
  find_file(PELMIRA_QTBASE_ES qtbase_es.qm
            PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} /usr/share/qt6/translations
            NO_DEFAULT_PATH)
  if(PELMIRA_QTBASE_ES)
    install(FILES ${PELMIRA_QTBASE_ES} DESTINATION translations)
  else()
    message(WARNING "qtbase_es.qm (qt6-translations-l10n) no está instalado: la instalación no lleva los textos de Qt en español")
  endif()
endif()

set(CPACK_PACKAGE_NAME pelmira)
set(CPACK_PACKAGE_VENDOR "Pelmira")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Exportar e importar datos entre Horvex e ITACA")
set(CPACK_PACKAGE_CONTACT "Pelmira <pelmira@localhost>")
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/pelmira)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows' fonts: Liberation Sans stands for Arial and "MS Sans Serif".
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
