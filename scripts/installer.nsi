; The Windows installer (makensis, from scripts/package):
;   makensis -DVERSION=x -DVERSION4=x.y.z.w -DSTAGE=folder -DFILES=files.nsh
;            -DICON=file.ico -DOUTFILE=setup.exe [-DSIGN=sign-exe] installer.nsi
; FILES lists the staged files and folders as Delete and RMDir lines (made
; when packaging): the uninstaller removes exactly those, so a folder shared
; with other programs keeps theirs.
; For all users (administrators): Program Files, a Start-menu entry for all,
; a Configurations folder only administrators and the system may open (a
; saved configuration holds the camera's accounts), and firewall rules that
; let the cameras on the local subnet answer discovery (UDP) and open the FTP
; data connections (TCP) back to the programs.
; For the current user (/CurrentUser, or chosen on the first page; the only
; choice without administrator rights): %LOCALAPPDATA%\Programs, an uninstall
; entry in HKCU, no firewall rules; the programs keep backups in the user's
; own folder.
; Silent runs (/S) end with exit code 2 while the programs run.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "x64.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"

!define COMPANY "TEZO"
!define PRODUCT "VCQ FirmwareUpgrade"
!define TITLE "VCQ Firmware Upgrade"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TEZO VCQ FirmwareUpgrade"
!define RULE_WIZARD "${TITLE}"
!define RULE_CLI "${TITLE} (command line)"
!define EXIT_RUNNING 2

; -DSIGN=scripts/sign-exe when packaging with a certificate: the uninstaller
; as it goes into the installer, then the installer.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
; The folder of an earlier install, so an upgrade replaces it.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Administrators are asked to elevate; other users install for themselves.
RequestExecutionLevel highest
ShowInstDetails show

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${TITLE}"
VIAddVersionKey "CompanyName" "${COMPANY}"
VIAddVersionKey "FileDescription" "${TITLE} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${COMPANY}"

Var PerUser  ; 1: for the current user only
Var GivenDir  ; from /D=, kept whatever the scope
Var IsAdmin
Var AllUsersButton
Var PerUserButton

Page custom ScopePage ScopePageLeave
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Per-user or all-users folders, shortcuts and registry.
!macro UseScope UN
  Function ${UN}UseScope
    ${If} $PerUser == 1
      SetShellVarContext current
    ${Else}
      SetShellVarContext all
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro UseScope ""
!insertmacro UseScope "un."

; Fails while a program runs from $INSTDIR: Windows keeps a running
; program's file open without write sharing. Asks to close it, or in a
; silent run ends with EXIT_RUNNING.
!macro RefuseWhileRunning UN
  Function ${UN}RefuseWhileRunning
    retry:
    ${ForEach} $1 1 2 + 1
      ${If} $1 == 1
        StrCpy $2 "$INSTDIR\vcq-upgrade.exe"
      ${Else}
        StrCpy $2 "$INSTDIR\vcq-upgrade-cli.exe"
      ${EndIf}
      ${If} ${FileExists} $2
        ClearErrors
        FileOpen $0 $2 a
        ${If} ${Errors}
          IfSilent 0 +3
          SetErrorLevel ${EXIT_RUNNING}
          Quit
          MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${TITLE} is running ($2). Close the wizard and every vcq-upgrade-cli window, then choose Retry." IDRETRY retry
          SetErrorLevel ${EXIT_RUNNING}
          Quit
        ${EndIf}
        FileClose $0
      ${EndIf}
    ${Next}
  FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${TITLE} needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  ; NSIS has put /D= (or the remembered folder) in $INSTDIR already.
  StrCpy $GivenDir ""
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $INSTDIR != "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
  ${AndIf} $INSTDIR != $0
    StrCpy $GivenDir $INSTDIR
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  StrCpy $IsAdmin 0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
  StrCpy $PerUser 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CurrentUser" $1
  ${IfNot} ${Errors}
  ${OrIf} $IsAdmin == 0
    StrCpy $PerUser 1
  ${EndIf}
  Call ChooseFolder
FunctionEnd

; The folder given with /D, or that of an earlier install in the scope, or
; the scope's own.
Function ChooseFolder
  ${If} $GivenDir != ""
    StrCpy $INSTDIR $GivenDir
    Return
  ${EndIf}
  ${If} $PerUser == 1
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $1 "$LOCALAPPDATA\Programs\${COMPANY}\${PRODUCT}"
  ${Else}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $1 "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
  ${EndIf}
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${Else}
    StrCpy $INSTDIR $1
  ${EndIf}
FunctionEnd

Function ScopePage
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Install ${TITLE} for:"
  Pop $0
  ${NSD_CreateRadioButton} 10u 28u 100% 12u "every user of this PC (needs administrator rights)"
  Pop $AllUsersButton
  ${NSD_CreateRadioButton} 10u 44u 100% 12u "me only"
  Pop $PerUserButton
  ${NSD_CreateLabel} 24u 58u 90% 48u "Installed for you only, the programs get no firewall rules: cameras may fail to answer discovery or to upload firmware until an administrator allows vcq-upgrade.exe and vcq-upgrade-cli.exe inbound TCP and UDP from the local subnet. Backups go to your own folder (%LOCALAPPDATA%\${COMPANY}\${PRODUCT}\Configurations)."
  Pop $0
  ${If} $IsAdmin == 0
    EnableWindow $AllUsersButton 0
  ${EndIf}
  ${If} $PerUser == 1
    ${NSD_Check} $PerUserButton
  ${Else}
    ${NSD_Check} $AllUsersButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $PerUserButton $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $PerUser 1
  ${Else}
    StrCpy $PerUser 0
  ${EndIf}
  Call ChooseFolder
FunctionEnd

Function un.onInit
  SetRegView 64
  StrCpy $PerUser 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CurrentUser" $1
  ${IfNot} ${Errors}
    StrCpy $PerUser 1
  ${EndIf}
  Call un.RefuseWhileRunning
FunctionEnd

; Inbound from the local subnet only, for one program and one protocol: the
; cameras' discovery answers (UDP) and FTP data connections (TCP). Every
; profile: a camera LAN without a domain or gateway counts as public.
!macro AddRules NAME PROGRAM
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="${PROGRAM}" protocol=TCP remoteip=localsubnet enable=yes profile=any'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="${PROGRAM}" protocol=UDP remoteip=localsubnet enable=yes profile=any'
  Pop $0
!macroend
; Every rule of that name: both protocols, and an earlier version's single rule.
!macro DeleteRules NAME
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
!macroend

!macro RemoveInstalledFiles
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
!macroend

Section "Install"
  Call RefuseWhileRunning
  Call UseScope
  ; An earlier version's own uninstaller takes its files away first, in place
  ; (_?=) so that it is done before these are written.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ${If} $PerUser == 1
      ExecWait '"$INSTDIR\uninstall.exe" /S /CurrentUser _?=$INSTDIR'
    ${Else}
      ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ${If} $PerUser == 1
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /CurrentUser'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S /CurrentUser'
    DetailPrint "Installed for the current user: no firewall rules were added."
  ${Else}
    ; Backups: administrators and the system only, nothing inherited.
    CreateDirectory "$INSTDIR\Configurations"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\Configurations" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F'
    Pop $0
    ; A rule left by an earlier install is replaced, not doubled.
    !insertmacro DeleteRules "${RULE_WIZARD}"
    !insertmacro DeleteRules "${RULE_CLI}"
    !insertmacro AddRules "${RULE_WIZARD}" "$INSTDIR\vcq-upgrade.exe"
    !insertmacro AddRules "${RULE_CLI}" "$INSTDIR\vcq-upgrade-cli.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\vcq-upgrade.exe" "" "$INSTDIR\vcq-upgrade.exe" 0

  ; SHCTX: HKLM for all users, HKCU for the current one (UseScope).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vcq-upgrade.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.UseScope
  ${If} $PerUser == 0
    !insertmacro DeleteRules "${RULE_WIZARD}"
    !insertmacro DeleteRules "${RULE_CLI}"
  ${EndIf}
  Delete "$SMPROGRAMS\${TITLE}.lnk"
  !insertmacro RemoveInstalledFiles
  ; The configuration backups stay, and the user is told where.
  RMDir "$INSTDIR\Configurations"
  ${If} ${FileExists} "$INSTDIR\Configurations\*.*"
    DetailPrint "The configuration backups are kept in $INSTDIR\Configurations."
    MessageBox MB_ICONINFORMATION "The configuration backups are kept in $INSTDIR\Configurations." /SD IDOK
  ${EndIf}
  RMDir "$INSTDIR"
  ; The company's folder when it is ours and empty, never a shared one's parent.
  RMDir "$INSTDIR\..\..\${COMPANY}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
