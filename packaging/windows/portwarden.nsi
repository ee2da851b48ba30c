; The installer for 64-bit Windows, made on Linux by makensis:
;   makensis -DVERSION=1.0.0 -DBIN=FOLDER -DICON=portwarden.ico -DOUTFILE=setup.exe portwarden.nsi
; FOLDER holds the built programs: portwarden-cli.exe, VadadAr.ico,
; TrustHot.ico, Portwarden-HELP.chm and help\, and portwarden.exe when the
; build has the window program. Silent with /S, like its uninstaller.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Portwarden"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Portwarden"
; The program's own key: what one installation has done once (the Trust button's mark).
!define PROGRAM_KEY "Software\Portwarden"
!define LOG "st6unst.log"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "Portwarden developers"
VIAddVersionKey "LegalCopyright" "Portwarden developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; No welcome or finish page: they would show a wizard picture that is not ours.
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Portwarden"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN}/portwarden-cli.exe"
!if /FileExists "${BIN}/portwarden.exe"
  File "${BIN}/portwarden.exe"
  !define MAIN_PROGRAM "portwarden.exe"
!else
  !define MAIN_PROGRAM "portwarden-cli.exe"
!endif
  File "${BIN}/VadadAr.ico"
  File "${BIN}/TrustHot.ico"
  File "${BIN}/Portwarden-HELP.chm"
  SetOutPath "$INSTDIR\help"
  File "${BIN}/help/*.html"
  File "${BIN}/help/style.css"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
!if /FileExists "${BIN}/portwarden.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\portwarden.exe"
!endif
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Help.lnk" "$INSTDIR\Portwarden-HELP.chm"
  ; A command prompt in the installation folder, for the command line.
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command line.lnk" "$SYSDIR\cmd.exe" \
    '/k cd /d "$INSTDIR" && portwarden-cli.exe --help' "$INSTDIR\portwarden-cli.exe" 0

  ; Apps & features (Add or Remove Programs).
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Portwarden developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_PROGRAM},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

!if /FileExists "${BIN}/portwarden.exe"
  ; The browser's Trust button, registered here with the rights it needs (the
  ; local machine's keys, the log in this folder), as the window program's
  ; first start would; the mark it sets keeps that start from adding another.
  nsExec::Exec '"$INSTDIR\portwarden-cli.exe" register-button'
  Pop $0
!endif
SectionEnd

; --- What st6unst.log records ----------------------------------------------
; Each line is ACTION: RegKey: "KEY", "SUBKEY" (SUBKEY was made under KEY) or
; ACTION: RegValue: "KEY\NAME", "DATA" (the value NAME was set under KEY),
; every KEY led by the name of its hive. The values go first, then the keys,
; latest first, each only once it is empty: a key someone else has filled
; since stays, and so does every key that a line names as the parent.

Var Kind    ; "RegKey" or "RegValue", empty for a line that is no record
Var First   ; the first field
Var Second  ; the second field
Var Hive    ; HKLM or HKCU, empty for a hive not removed from
Var Path    ; the key path within the hive

; Splits the line in $R1 into $Kind, $First and $Second.
Function un.ParseRecord
  StrCpy $Kind ""
  StrCpy $R2 $R1 16
  StrCpy $R3 $R1 18
  ${If} $R2 S== 'ACTION: RegKey: '
    StrCpy $R4 $R1 "" 16
    StrCpy $R5 "RegKey"
  ${ElseIf} $R3 S== 'ACTION: RegValue: '
    StrCpy $R4 $R1 "" 18
    StrCpy $R5 "RegValue"
  ${Else}
    Return
  ${EndIf}
  ; $R4 = "FIRST", "SECOND" and no field holds a quote.
  StrLen $R6 $R4
  StrCpy $R2 $R4 1
  StrCpy $R3 $R4 1 -1
  ${If} $R6 < 6
  ${OrIf} $R2 S!= '"'
  ${OrIf} $R3 S!= '"'
    Return
  ${EndIf}
  StrCpy $R7 1
  ${Do}
    StrCpy $R2 $R4 1 $R7
    ${IfThen} $R2 S== '"' ${|} ${ExitDo} ${|}
    IntOp $R7 $R7 + 1
  ${LoopUntil} $R7 >= $R6
  IntOp $R8 $R7 + 4
  StrCpy $R2 $R4 4 $R7
  ${If} $R2 S!= '", "'
  ${OrIf} $R8 > $R6
    Return
  ${EndIf}
  IntOp $R3 $R7 - 1
  StrCpy $First $R4 $R3 1
  IntOp $R3 $R6 - $R8
  IntOp $R3 $R3 - 1
  StrCpy $Second $R4 $R3 $R8
  StrCpy $Kind $R5
FunctionEnd

; Splits the key path in $R1 into $Hive and $Path.
Function un.SplitHive
  StrCpy $Hive ""
  StrCpy $R2 0
  StrLen $R3 $R1
  ${Do}
    ${IfThen} $R2 >= $R3 ${|} Return ${|}
    StrCpy $R4 $R1 1 $R2
    ${IfThen} $R4 S== "\" ${|} ${ExitDo} ${|}
    IntOp $R2 $R2 + 1
  ${Loop}
  StrCpy $R4 $R1 $R2
  IntOp $R2 $R2 + 1
  StrCpy $Path $R1 "" $R2
  ${If} $R4 == "HKEY_LOCAL_MACHINE"
  ${OrIf} $R4 == "HKLM"
    StrCpy $Hive "HKLM"
  ${ElseIf} $R4 == "HKEY_CURRENT_USER"
  ${OrIf} $R4 == "HKCU"
    StrCpy $Hive "HKCU"
  ${EndIf}
  ${IfThen} $Path == "" ${|} StrCpy $Hive "" ${|}
FunctionEnd

; True (no error flag) when $Hive\$R1 is a key.
Function un.KeyExists
  ClearErrors
  ${If} $Hive == "HKLM"
    EnumRegKey $R2 HKLM $R1 0
  ${Else}
    EnumRegKey $R2 HKCU $R1 0
  ${EndIf}
FunctionEnd

Function un.RemoveLoggedValue
  StrCpy $R1 $First
  Call un.SplitHive
  ${IfThen} $Hive == "" ${|} Return ${|}
  ; The value's name follows the last backslash.
  StrLen $R2 $Path
  ${Do}
    IntOp $R2 $R2 - 1
    ${IfThen} $R2 < 1 ${|} Return ${|}
    StrCpy $R3 $Path 1 $R2
  ${LoopUntil} $R3 S== "\"
  StrCpy $R4 $Path $R2
  IntOp $R2 $R2 + 1
  StrCpy $R5 $Path "" $R2
  ; A record naming a key rather than a value (the line after a new key's).
  StrCpy $R1 $Path
  Call un.KeyExists
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  ${If} $Hive == "HKLM"
    DeleteRegValue HKLM $R4 $R5
  ${Else}
    DeleteRegValue HKCU $R4 $R5
  ${EndIf}
FunctionEnd

Function un.RemoveLoggedRegistry
  ClearErrors
  FileOpen $R0 "$INSTDIR\${LOG}" r
  ${IfThen} ${Errors} ${|} Return ${|}
  Push "|end|"
  ${Do}
    ClearErrors
    FileRead $R0 $R1
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ; Without the line's end.
    ${Do}
      StrCpy $R2 $R1 1 -1
      ${If} $R2 == "$\r"
      ${OrIf} $R2 == "$\n"
        StrCpy $R1 $R1 -1
      ${Else}
        ${ExitDo}
      ${EndIf}
    ${Loop}
    Call un.ParseRecord
    ${If} $Kind S== "RegValue"
      Call un.RemoveLoggedValue
    ${ElseIf} $Kind S== "RegKey"
    ${AndIf} $Second != ""
      Push "$First\$Second"
    ${EndIf}
  ${Loop}
  FileClose $R0
  ; The keys, the last made first.
  ${Do}
    Pop $R1
    ${IfThen} $R1 S== "|end|" ${|} ${ExitDo} ${|}
    Call un.SplitHive
    ${If} $Hive == "HKLM"
      DeleteRegKey /ifempty HKLM $Path
    ${ElseIf} $Hive == "HKCU"
      DeleteRegKey /ifempty HKCU $Path
    ${EndIf}
  ${Loop}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.RemoveLoggedRegistry
  Delete "$INSTDIR\${LOG}"
  DeleteRegKey HKLM "${PROGRAM_KEY}"

  Delete "$INSTDIR\portwarden.exe"
  Delete "$INSTDIR\portwarden-cli.exe"
  Delete "$INSTDIR\VadadAr.ico"
  Delete "$INSTDIR\TrustHot.ico"
  Delete "$INSTDIR\Portwarden-HELP.chm"
  Delete "$INSTDIR\help\*.html"
  Delete "$INSTDIR\help\style.css"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Help.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command line.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
