; SPDX-License-Identifier: MIT
; Lintara's Windows installer. Per user, so that it needs no administrator:
; the files go to %LOCALAPPDATA%\Programs\Lintara, the Start-menu entry and
; the login entry to the user's own Start menu and Run key.
;
; Defines given by the build (packaging/windows/installer.cmake):
;   VERSION   x.y.z
;   EXE       the lintara.exe to install
;   LICENSE   the licence text shown and installed
;   OUTFILE   where to write the installer
;
; Silent use: lintara-setup.exe /S [/STARTATLOGIN] [/D=folder]
; The uninstaller: "%LOCALAPPDATA%\Programs\Lintara\uninstall.exe" /S

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define PRODUCT "Lintara"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lintara"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Lintara"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT License"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\lintara.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

LangString SecProgram ${LANG_KOREAN} "Lintara"
LangString SecProgram ${LANG_ENGLISH} "Lintara"
LangString SecLogin ${LANG_KOREAN} "로그인할 때 시작"
LangString SecLogin ${LANG_ENGLISH} "Start at login"

; A running Lintara holds lintara.exe open; it is the user's own, so the
; user may end it. Quitting it first lets the files be replaced or removed.
!macro EndRunningLintara
  ReadEnvStr $1 USERNAME
  nsExec::Exec 'taskkill /F /IM lintara.exe /FI "USERNAME eq $1"'
  Pop $0
!macroend

Section "!$(SecProgram)" SecMain
  SectionIn RO
  !insertmacro EndRunningLintara
  SetOutPath "$INSTDIR"
  File "/oname=lintara.exe" "${EXE}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Lintara.lnk" "$INSTDIR\lintara.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Lintara authors"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lintara.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Opt-in: off unless ticked, or /STARTATLOGIN given to a silent install.
Section /o "$(SecLogin)" SecLogin
  WriteRegStr HKCU "${RUN_KEY}" "Lintara" '"$INSTDIR\lintara.exe"'
SectionEnd

; A reinstall without the login entry takes away one left by an earlier one.
Section "-login entry off"
  ${IfNot} ${SectionIsSelected} ${SecLogin}
    DeleteRegValue HKCU "${RUN_KEY}" "Lintara"
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STARTATLOGIN" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecLogin}
  ${EndIf}
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
FunctionEnd

; The user's settings (HKCU\Software\Lintara) stay, as they would for any
; program removed and installed again.
Section "Uninstall"
  !insertmacro EndRunningLintara
  DeleteRegValue HKCU "${RUN_KEY}" "Lintara"
  Delete "$SMPROGRAMS\Lintara.lnk"
  Delete "$INSTDIR\lintara.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
