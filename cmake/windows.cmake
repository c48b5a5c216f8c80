# The Windows build's extras: the programs' icon and version resources, the GUI subsystem for the
# window program, the small Win32 programs the Wine tests use, and the distribution: the folder
# dist/Pelmira-<version>-windows, its ZIP and the NSIS installer (target pelmira_dist).

enable_language(C)
enable_language(RC)

find_program(PELMIRA_RSVG rsvg-convert REQUIRED)
find_program(PELMIRA_MAGICK convert REQUIRED)
find_program(PELMIRA_MAKENSIS makensis REQUIRED)
find_program(PELMIRA_STRIP NAMES x86_64-w64-mingw32-strip REQUIRED)

# The icon, drawn from the shipped SVG at the sizes Windows asks for.
set(PELMIRA_ICON ${CMAKE_BINARY_DIR}/pelmira.ico)
add_custom_command(
  OUTPUT ${PELMIRA_ICON}
  COMMAND ${PELMIRA_RSVG} -w 16 -h 16 ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg -o icon16.png
  COMMAND ${PELMIRA_RSVG} -w 32 -h 32 ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg -o icon32.png
  COMMAND ${PELMIRA_RSVG} -w 48 -h 48 ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg -o icon48.png
  COMMAND ${PELMIRA_RSVG} -w 256 -h 256 ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg -o icon256.png
  COMMAND ${PELMIRA_MAGICK} icon16.png icon32.png icon48.png icon256.png ${PELMIRA_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/pelmira.svg
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Dibujando el icono pelmira.ico")
add_custom_target(pelmira_icon DEPENDS ${PELMIRA_ICON})

function(pelmira_windows_resource target description)
  set(PELMIRA_RC_DESCRIPTION "${description}")
  set(PELMIRA_RC_FILE "${target}.exe")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/pelmira.rc.in ${CMAKE_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${target}.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/${target}.rc PROPERTIES OBJECT_DEPENDS ${PELMIRA_ICON})
  add_dependencies(${target} pelmira_icon)
endfunction()

if(TARGET pelmira)
  # A GUI program: Windows opens no console window for it.
  set_target_properties(pelmira PROPERTIES WIN32_EXECUTABLE ON)
  pelmira_windows_resource(pelmira "Pelmira: exportar e importar datos entre Horvex e ITACA")
endif()
pelmira_windows_resource(pelmira-cli "Pelmira para la línea de órdenes")

# Test programs: a stand-in for Horvex's window and a holder of a table without sharing.
add_executable(host WIN32 ${PROJECT_SOURCE_DIR}/tests/windows/host.c)
target_compile_options(host PRIVATE -municode)
target_link_options(host PRIVATE -municode)
target_link_libraries(host PRIVATE shell32)
add_executable(holdfile ${PROJECT_SOURCE_DIR}/tests/windows/holdfile.c)
target_compile_options(holdfile PRIVATE -municode)
target_link_options(holdfile PRIVATE -municode)
foreach(t host holdfile)
  set_target_properties(${t} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/windows
                                        C_STANDARD 11)
endforeach()

# The distribution, which needs the window program (a build with PELMIRA_BUILD_APP=OFF makes the
# command-line program and the test programs only).
if(NOT TARGET pelmira)
  return()
endif()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE PELMIRA_LIBSTDCXX OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE PELMIRA_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(PELMIRA_WINPTHREAD libwinpthread-1.dll
          PATHS /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(PELMIRA_QT_ES qtbase_es.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
get_target_property(_qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(PELMIRA_QT_BIN ${_qt_core_dll} DIRECTORY)
get_filename_component(PELMIRA_QT_PREFIX ${PELMIRA_QT_BIN} DIRECTORY)

set(PELMIRA_DIST_NAME Pelmira-${PROJECT_VERSION}-windows)
set(PELMIRA_DIST_ROOT ${PROJECT_SOURCE_DIR}/dist)
add_custom_target(pelmira_dist
  COMMAND ${CMAKE_COMMAND}
          -DDIST_ROOT=${PELMIRA_DIST_ROOT}
          -DDIST_NAME=${PELMIRA_DIST_NAME}
          -DVERSION=${PROJECT_VERSION}
          -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DPELMIRA_EXE=$<TARGET_FILE:pelmira>
          -DPELMIRA_CLI_EXE=$<TARGET_FILE:pelmira-cli>
          -DHELP_FILE=${PELMIRA_HELP_FILE}
          -DICON=${PELMIRA_ICON}
          -DQT_BIN=${PELMIRA_QT_BIN}
          -DQT_PREFIX=${PELMIRA_QT_PREFIX}
          -DQT_ES=${PELMIRA_QT_ES}
          -DLIBSTDCXX=${PELMIRA_LIBSTDCXX}
          -DLIBGCC=${PELMIRA_LIBGCC}
          -DWINPTHREAD=${PELMIRA_WINPTHREAD}
          -DSTRIP=${PELMIRA_STRIP}
          -DMAKENSIS=${PELMIRA_MAKENSIS}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-dist.cmake
  DEPENDS pelmira pelmira-cli pelmira_icon pelmira_help
  COMMENT "Preparando dist/${PELMIRA_DIST_NAME}, su ZIP y el programa de instalación"
  VERBATIM)
