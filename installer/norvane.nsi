; The Norvane installer. A per-user install: no administrator rights, the
; program in the user's local programs folder, a Start-menu shortcut, the
; uninstaller in Add/Remove Programs (the current user's key), and, when
; chosen, the start at log-on (the Run value the program itself writes).
; Installing over an older version upgrades it in place: a running Norvane
; is ended first, the settings and the log (the data folder) stay.
;
; makensis -DVERSION=1.0.0.1 -DBIN=<folder of norvane.exe> -DTOP=<source tree> -DOUT=<setup.exe> norvane.nsi
; Silent: setup.exe /S (add /LOGON to start Norvane at log-on).

; A 64-bit installer for a 64-bit program (and Wine without its 32-bit half runs it).
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define CHOICE_KEY "Software\Norvane"
; The command of the tray menu's "stop and exit".
!define STOP_AND_EXIT 32799

Name "Norvane"
OutFile "${OUT}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Norvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Norvane"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Norvane setup"
VIAddVersionKey "CompanyName" "Tarnwick"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Tarnwick"

!define MUI_ICON "${TOP}\resources\norvane.ico"
!define MUI_UNICON "${TOP}\resources\norvane.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\norvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Norvane now"
!insertmacro MUI_PAGE_LICENSE "${TOP}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running Norvane as its tray menu's "stop and exit" does, and waits
; until its program file is free: a running program's file can be neither
; replaced nor removed. At most about 20 s; a program that does not end by
; then is left running and its files are not touched.
!macro DefineEndNorvane prefix
Function ${prefix}EndNorvane
    Push $0
    Push $1
    StrCpy $1 0
    ${Do}
        FindWindow $0 "" "Norvane"
        ${If} $0 == 0
            ${ExitDo}
        ${EndIf}
        SendMessage $0 ${WM_COMMAND} ${STOP_AND_EXIT} 0 /TIMEOUT=2000
        Sleep 100
        IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 100
    ${Do}
        ClearErrors
        ${IfNot} ${FileExists} "$INSTDIR\norvane.exe"
            ${ExitDo}
        ${EndIf}
        FileOpen $0 "$INSTDIR\norvane.exe" a
        ${IfNot} ${Errors}
            FileClose $0
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 200
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DefineEndNorvane ""
!insertmacro DefineEndNorvane "un."

Section "Norvane" SecProgram
    SectionIn RO
    Call EndNorvane
    SetOutPath "$INSTDIR"
    File "${BIN}\norvane.exe"
    File "${BIN}\norvane-cli.exe"
    File "${TOP}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Norvane.lnk" "$INSTDIR\norvane.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Norvane"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarnwick"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\norvane.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The choice is kept for the program, which writes its Run value at every
; start unless StartAtLogOn is 0.
Section /o "Start Norvane when I log on" SecLogOn
    WriteRegDWORD HKCU "${CHOICE_KEY}" "StartAtLogOn" 1
    WriteRegStr HKCU "${RUN_KEY}" "Norvane" '"$INSTDIR\norvane.exe" -hide'
SectionEnd

Section "-Declined start at log-on"
    ${IfNot} ${SectionIsSelected} ${SecLogOn}
        WriteRegDWORD HKCU "${CHOICE_KEY}" "StartAtLogOn" 0
        DeleteRegValue HKCU "${RUN_KEY}" "Norvane"
    ${EndIf}
SectionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} "Norvane and norvane-cli."
LangString DESC_SecLogOn ${LANG_ENGLISH} "Norvane starts hidden in the notification area when you log on and protects your folders."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_SecProgram)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecLogOn} $(DESC_SecLogOn)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ; /LOGON chooses the start at log-on (for a silent install too).
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/LOGON" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecLogOn}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.EndNorvane
    DeleteRegValue HKCU "${RUN_KEY}" "Norvane"
    Delete "$SMPROGRAMS\Norvane.lnk"
    Delete "$INSTDIR\norvane.exe"
    Delete "$INSTDIR\norvane-cli.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${CHOICE_KEY}"
    ; The data folder (the log, the settings, the record of known photos)
    ; goes only when the user says so; a silent uninstall keeps it.
    ${IfNot} ${Silent}
        MessageBox MB_YESNO|MB_ICONQUESTION "Also remove Norvane's log and settings ($LOCALAPPDATA\Norvane)?" IDNO keep
        RMDir /r "$LOCALAPPDATA\Norvane"
    keep:
    ${EndIf}
SectionEnd
