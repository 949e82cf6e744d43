; The Windows installer (makensis, from scripts/package):
;   makensis -DVERSION=x -DSTAGE=folder -DICON=file.ico -DOUTFILE=setup.exe installer.nsi
; Installs the wizard with its Qt libraries and the headless tool into
; Program Files, a Start-menu entry, an uninstaller, a Configurations folder
; the PC's users may write (backups without administrator rights), and
; firewall rules that let the cameras' discovery answers and FTP data
; connections reach the programs.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "x64.nsh"

!define COMPANY "TEZO"
!define PRODUCT "VCQ FirmwareUpgrade"
!define TITLE "VCQ Firmware Upgrade"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TEZO VCQ FirmwareUpgrade"
!define RULE_WIZARD "${TITLE}"
!define RULE_CLI "${TITLE} (command line)"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${TITLE}"
VIAddVersionKey "CompanyName" "${COMPANY}"
VIAddVersionKey "FileDescription" "${TITLE} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${COMPANY}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${TITLE} needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; AddRule NAME PROGRAM: inbound, any protocol, for that program only.
!macro AddRule NAME PROGRAM
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="${PROGRAM}" enable=yes profile=any'
  Pop $0
!macroend
!macro DeleteRule NAME
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
!macroend

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Backups land here; users who are not administrators may write them.
  CreateDirectory "$INSTDIR\Configurations"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\Configurations" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0

  ; A rule left by an earlier install is replaced, not doubled.
  !insertmacro DeleteRule "${RULE_WIZARD}"
  !insertmacro DeleteRule "${RULE_CLI}"
  !insertmacro AddRule "${RULE_WIZARD}" "$INSTDIR\vcq-upgrade.exe"
  !insertmacro AddRule "${RULE_CLI}" "$INSTDIR\vcq-upgrade-cli.exe"

  CreateShortcut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\vcq-upgrade.exe" "" "$INSTDIR\vcq-upgrade.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vcq-upgrade.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro DeleteRule "${RULE_WIZARD}"
  !insertmacro DeleteRule "${RULE_CLI}"
  Delete "$SMPROGRAMS\${TITLE}.lnk"
  ; The program's own files only: the configuration backups stay.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\README.txt"
  RMDir "$INSTDIR\Configurations"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
