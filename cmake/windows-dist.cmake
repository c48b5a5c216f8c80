# Lays out the Windows distribution folder, then zips it and builds the installer. Run by the
# pelmira_dist target with the paths it is given (see cmake/windows.cmake).

set(dir ${DIST_ROOT}/${DIST_NAME})
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir}/platforms ${dir}/styles ${dir}/translations ${dir}/ejemplos)

file(COPY ${PELMIRA_EXE} ${PELMIRA_CLI_EXE} ${HELP_FILE} ${ICON} ${LIBSTDCXX} ${LIBGCC} ${WINPTHREAD}
     DESTINATION ${dir})
file(COPY ${QT_BIN}/Qt6Core.dll ${QT_BIN}/Qt6Gui.dll ${QT_BIN}/Qt6Widgets.dll DESTINATION ${dir})
file(COPY ${QT_PREFIX}/plugins/platforms/qwindows.dll DESTINATION ${dir}/platforms)
if(EXISTS ${QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll)
  file(COPY ${QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll DESTINATION ${dir}/styles)
endif()
file(COPY ${QT_ES} DESTINATION ${dir}/translations)
file(COPY ${SOURCE_DIR}/samples/ DESTINATION ${dir}/ejemplos)
# Qt looks for its plugins beside the program; this says so explicitly, whatever the environment.
file(WRITE ${dir}/qt.conf "[Paths]\nPlugins = .\nTranslations = translations\n")
file(WRITE ${dir}/LEAME.txt
"Pelmira ${VERSION} para Windows\r
\r
pelmira.exe      la ventana (Horvex la abre con: pelmira.exe exportar|importar <ventana>)\r
pelmira-cli.exe  la línea de órdenes (pelmira-cli.exe --help)\r
ITACA.chm        la ayuda\r
ejemplos\\        un centro de ejemplo y su SOLUC.DBF\r
\r
Las tablas de trabajo de Horvex están en C:\\HTEMP. Horvex.ini se escribe junto a pelmira.exe.\r
")

file(GLOB binaries ${dir}/*.exe ${dir}/*.dll ${dir}/platforms/*.dll ${dir}/styles/*.dll)
foreach(b ${binaries})
  execute_process(COMMAND ${STRIP} --strip-unneeded ${b} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "No se puede reducir ${b}")
  endif()
endforeach()

set(zip ${DIST_ROOT}/${DIST_NAME}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${DIST_NAME}
                WORKING_DIRECTORY ${DIST_ROOT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "No se puede crear ${zip}")
endif()

set(setup ${DIST_ROOT}/Pelmira-${VERSION}-setup.exe)
file(REMOVE ${setup})
execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DDIST=${dir} -DOUTFILE=${setup}
                        ${SOURCE_DIR}/packaging/windows/pelmira.nsi
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "makensis ha fallado")
endif()
message(STATUS "Distribución: ${dir}, ${zip}, ${setup}")
