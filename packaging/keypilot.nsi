; Keypilot's per-user installer. scripts/package.sh builds it:
;   makensis -DVERSION=1.2.3 -DFILES=<folder with Keypilot.exe, README.txt, LICENSE>
;            -DICON=<keypilot.ico> -DOUTFILE=<setup.exe> keypilot.nsi
; Everything goes under the user's own profile and HKCU, so no administrator rights are asked.
; /S installs (or upgrades) silently, with the logon entry; "uninstall.exe /S" removes silently.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!macro REQUIRE name
    !ifndef ${name}
        !error "${name} is not defined (see scripts/package.sh)"
    !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE FILES
!insertmacro REQUIRE ICON
!insertmacro REQUIRE OUTFILE

!define APP "Keypilot"
!define PUBLISHER "Corvane"
!define EXE "Keypilot.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\Keypilot.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Keypilot"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Keypilot"
!define SETTINGS_KEY "Software\Corvane\Keypilot"
!define SETTINGS_PARENT "Software\Corvane"
!define WEBSITE "https://corvane.ru/keypilot/"
; Keypilot's application window: closing it ends Keypilot as its exit item does.
!define APP_WINDOW_CLASS "KeypilotApplication"
!define APP_WINDOW_CAPTION "Keypilot"
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
!define CLOSE_WAIT_MS 10000

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the default; the system's own language is chosen when it is listed.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString SectionProgram ${LANG_ENGLISH} "Keypilot"
LangString SectionProgram ${LANG_RUSSIAN} "Keypilot"
LangString SectionLogon ${LANG_ENGLISH} "Start Keypilot when I log on"
LangString SectionLogon ${LANG_RUSSIAN} "Запускать Keypilot при входе в систему"
LangString SectionSettings ${LANG_ENGLISH} "Also remove my settings"
LangString SectionSettings ${LANG_RUSSIAN} "Удалить также мои настройки"
LangString StillRunning ${LANG_ENGLISH} "Keypilot is still running and did not end when asked.$\r$\nEnd it from its tray menu, then choose Retry."
LangString StillRunning ${LANG_RUSSIAN} "Keypilot всё ещё работает и не завершился по запросу.$\r$\nЗавершите его через меню значка в трее и нажмите «Повтор»."

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "© ${PUBLISHER}"

; Ends every running Keypilot the clean way (its port is closed and its icon leaves the tray)
; and waits a bounded time for each process to end; the user may retry or give up.
!macro DEFINE_CLOSE_KEYPILOT prefix
Function ${prefix}CloseKeypilot
    ${Do}
        FindWindow $0 "${APP_WINDOW_CLASS}" "${APP_WINDOW_CAPTION}"
        ${If} $0 == 0
            Return
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        StrCpy $3 ${WAIT_OBJECT_0}
        ${If} $2 != 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
            System::Call 'kernel32::CloseHandle(p r2)'
        ${EndIf}
        ${If} $3 != ${WAIT_OBJECT_0}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY +2
            Abort
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_KEYPILOT ""
!insertmacro DEFINE_CLOSE_KEYPILOT "un."

; The logon entry as Keypilot's own switch writes it: the quoted path of the executable.
!define RUN_COMMAND '"$INSTDIR\${EXE}"'

Section "$(SectionProgram)" SecProgram
    SectionIn RO
    Call CloseKeypilot
    SetOutPath "$INSTDIR"
    File "${FILES}\${EXE}"
    File "${FILES}\README.txt"
    File "${FILES}\LICENSE"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortCut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "$(SectionLogon)" SecLogon
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '${RUN_COMMAND}'
SectionEnd

Section "-Start"
    ${IfNot} ${SectionIsSelected} ${SecLogon}
        ; Switched off the way Keypilot's own switch does it, and only for this installation.
        ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
        ${If} $0 == '${RUN_COMMAND}'
        ${OrIf} $0 == "$INSTDIR\${EXE}"
            WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" ""
        ${EndIf}
    ${EndIf}
    Exec '"$INSTDIR\${EXE}"'
SectionEnd

Function .onInit
    ; A logon entry that the user switched off in Keypilot (an empty value) stays off.
    ClearErrors
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${IfNot} ${Errors}
    ${AndIf} $0 == ""
        !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
FunctionEnd

Section "un.$(SectionProgram)" UnSecProgram
    SectionIn RO
    Call un.CloseKeypilot
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    Delete "${SHORTCUT}"
    ; The logon entry goes only when it starts this installation (or is switched off); one
    ; that starts a copy elsewhere stays.
    ClearErrors
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${IfNot} ${Errors}
        ${If} $0 == '${RUN_COMMAND}'
        ${OrIf} $0 == "$INSTDIR\${EXE}"
        ${OrIf} $0 == ""
            DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
        ${EndIf}
    ${EndIf}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Offered unticked, and never taken in silent mode: settings outlive a reinstall.
Section /o "un.$(SectionSettings)" UnSecSettings
    ${IfNot} ${Silent}
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT}"
    ${EndIf}
SectionEnd
