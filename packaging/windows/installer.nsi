; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of the Ondo FLASH utility, made with NSIS (makensis, Debian's nsis):
;   makensis -DVERSION=2.1.0 -DSTAGE=<the zip's files> -DICON=<.ico> -DOUT=<setup.exe> installer.nsi
; Installs into Program Files, adds Start-menu entries for the window and for a console in the
; program's folder, registers the uninstaller in Apps & features; /S installs and uninstalls
; silently. No file times are stored, so the same files give the same installer.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetDateSave off
RequestExecutionLevel admin
ManifestDPIAware true

!include "LogicLib.nsh"
!include "x64.nsh"

!define NAME "Ondo FLASH utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OndoFlash"

Name "${NAME} ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} setup"
VIAddVersionKey "LegalCopyright" "Free software under the GNU GPL, version 3 or later"
LicenseData "${STAGE}/LICENSE.txt"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${STAGE}/ondo-flash.exe"
  File "${STAGE}/ondo-flash.com"
  File "${STAGE}/README-Windows.txt"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\samples"
  File "${STAGE}/samples/*.HXF"
  SetOutPath "$INSTDIR\licences"
  File /r "${STAGE}/licences/*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\ondo-flash.exe" "" "$INSTDIR\ondo-flash.exe" 0
  ; A console in the program's folder, for the command line (ondo-flash --help).
  CreateShortcut "$SMPROGRAMS\${NAME} command line.lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && ondo-flash --version && echo ondo-flash --help lists the commands."' \
    "$INSTDIR\ondo-flash.com" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Ondo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ondo-flash.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there: a user's own files in the folder stay, and so does the
; folder then. The settings (HKCU\Software\VB and VBA Program Settings\FLASH) are the user's.
Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME} command line.lnk"
  Delete "$INSTDIR\ondo-flash.exe"
  Delete "$INSTDIR\ondo-flash.com"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\samples\*.HXF"
  RMDir "$INSTDIR\samples"
  RMDir /r "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
