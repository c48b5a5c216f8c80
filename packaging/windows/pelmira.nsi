; The Windows installer: puts the distribution folder into Program Files\Pelmira, with a
; start-menu entry and an uninstaller, all in Spanish. Built by the pelmira_setup target:
;   makensis -DVERSION=<x.y> -DDIST=<distribution folder> -DOUTFILE=<setup.exe> pelmira.nsi
; Installs for all users (it needs administrator rights, as Program Files does); /S installs
; silently into the default folder, or into the one given with /D=.

; A 64-bit installer for a 64-bit program (Unicode, as every amd64 target is).
Target amd64-unicode
!include "MUI2.nsh"

!ifndef VERSION
  !error "VERSION no definido"
!endif
!ifndef DIST
  !error "DIST no definido"
!endif
!ifndef OUTFILE
  !define OUTFILE "Pelmira-${VERSION}-setup.exe"
!endif

Name "Pelmira ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pelmira"
InstallDirRegKey HKLM "Software\Pelmira" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelmira"

!define MUI_ICON "${DIST}\pelmira.ico"
!define MUI_UNICON "${DIST}\pelmira.ico"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "Pelmira"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalación de Pelmira"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "Pelmira"

Section "Pelmira" SecMain
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${DIST}\*.*"
  WriteUninstaller "$INSTDIR\Desinstalar.exe"

  CreateDirectory "$SMPROGRAMS\Pelmira"
  CreateShortcut "$SMPROGRAMS\Pelmira\Pelmira.lnk" "$INSTDIR\pelmira.exe" "" "$INSTDIR\pelmira.ico"
  CreateShortcut "$SMPROGRAMS\Pelmira\Ayuda de Pelmira.lnk" "$INSTDIR\ITACA.chm"
  CreateShortcut "$SMPROGRAMS\Pelmira\Desinstalar Pelmira.lnk" "$INSTDIR\Desinstalar.exe"

  WriteRegStr HKLM "Software\Pelmira" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pelmira"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pelmira"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelmira.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Pelmira\Pelmira.lnk"
  Delete "$SMPROGRAMS\Pelmira\Ayuda de Pelmira.lnk"
  Delete "$SMPROGRAMS\Pelmira\Desinstalar Pelmira.lnk"
  RMDir "$SMPROGRAMS\Pelmira"
  ; Everything the installer put there goes. Horvex.ini stays: the program writes it beside
  ; itself for Horvex, and it may hold Horvex's own settings; the folder then stays with it.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\translations"
  RMDir /r "$INSTDIR\ejemplos"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\*.chm"
  Delete "$INSTDIR\*.ico"
  Delete "$INSTDIR\*.txt"
  Delete "$INSTDIR\Desinstalar.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Pelmira"
SectionEnd
