; Keypilot's per-user installer. scripts/package.sh builds it:
;   makensis -DVERSION=1.2.3 -DFILES=<folder with Keypilot.exe, README.txt, LICENSE>
;            -DICON=<keypilot.ico> -DOUTFILE=<setup.exe> keypilot.nsi
; Everything goes under the user's own profile and HKCU, so no administrator rights are asked.
; /S installs (or upgrades) silently, with the logon entry; "uninstall.exe /S" removes silently.
; Keypilot only ever goes into a folder of its own (see KeypilotFolder), and the uninstaller
; removes only the files the installer writes, so a user's files beside them are never touched.

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
!define WAIT_TIMEOUT 0x102
!define ERROR_INVALID_PARAMETER 87
!define CLOSE_WAIT_MS 10000
!define CLOSE_POLL_MS 100

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
; The folder's last part is what the directory page's Browse appends to a folder picked there.
; The installed copy's folder is taken in .onInit, not with InstallDirRegKey, which /D= overrides.
InstallDir "$LOCALAPPDATA\Programs\${APP}"
BrandingText "${APP} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(DirectoryText)"
!define MUI_PAGE_CUSTOMFUNCTION_PRE DirectoryPre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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
LangString DirectoryText ${LANG_ENGLISH} "Setup will install Keypilot in the following folder. A folder with another name than Keypilot gets a Keypilot folder inside it, so that nothing of yours there is touched. $_CLICK"
LangString DirectoryText ${LANG_RUSSIAN} "Программа установит Keypilot в указанную папку. В папке с другим именем, чем Keypilot, будет создана папка Keypilot, чтобы ничего вашего в ней не затронуть. $_CLICK"
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
; and waits at most CLOSE_WAIT_MS for each process to end; then the user may retry or give up.
!macro DEFINE_CLOSE_KEYPILOT prefix
Function ${prefix}CloseKeypilot
    ${Do}
        FindWindow $0 "${APP_WINDOW_CLASS}" "${APP_WINDOW_CAPTION}"
        ${If} $0 == 0
            Return
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
        ; Posted rather than sent: a Keypilot that does not answer must not stretch the wait.
        System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
        ${If} $2 != 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
            System::Call 'kernel32::CloseHandle(p r2)'
        ${Else}
            Push $1
            Call ${prefix}WaitForUnopenedProcess
            Pop $3
        ${EndIf}
        ${If} $3 != ${WAIT_OBJECT_0}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY +2
            Abort
        ${EndIf}
    ${Loop}
FunctionEnd

; The same bounded wait for a process that could not be opened (its id on the stack, the wait's
; result left there): a process that is gone can no longer be found at all, while one that still
; runs refuses access. It is tried again until it opens, is gone, or the time is up.
Function ${prefix}WaitForUnopenedProcess
    Exch $1
    Push $2
    Push $4
    Push $5
    StrCpy $4 0
    ${Do}
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2 ?e'
        Pop $5
        ${If} $2 != 0
            IntOp $5 ${CLOSE_WAIT_MS} - $4
            System::Call 'kernel32::WaitForSingleObject(p r2, i r5) i .r5'
            System::Call 'kernel32::CloseHandle(p r2)'
            StrCpy $1 $5
            ${ExitDo}
        ${ElseIf} $5 = ${ERROR_INVALID_PARAMETER}
            StrCpy $1 ${WAIT_OBJECT_0}
            ${ExitDo}
        ${ElseIf} $4 >= ${CLOSE_WAIT_MS}
            StrCpy $1 ${WAIT_TIMEOUT}
            ${ExitDo}
        ${EndIf}
        Sleep ${CLOSE_POLL_MS}
        IntOp $4 $4 + ${CLOSE_POLL_MS}
    ${Loop}
    Pop $5
    Pop $4
    Pop $2
    Exch $1
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_KEYPILOT ""
!insertmacro DEFINE_CLOSE_KEYPILOT "un."

; The last part of a folder (on the stack, replaced by it), trailing separators ignored.
!macro DEFINE_LAST_FOLDER_PART prefix
Function ${prefix}LastFolderPart
    Exch $0
    Push $1
    Push $2
    Push $0
    Call ${prefix}TrimFolder
    Pop $0
    StrLen $2 $0
    ${Do}
        ${If} $2 = 0
            ${ExitDo}
        ${EndIf}
        IntOp $2 $2 - 1
        StrCpy $1 $0 1 $2
        ${If} $1 == "\"
        ${OrIf} $1 == "/"
            IntOp $2 $2 + 1
            ${ExitDo}
        ${EndIf}
    ${Loop}
    StrCpy $0 $0 "" $2
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; A folder (on the stack, replaced) without its trailing separators: "C:\" becomes "C:".
Function ${prefix}TrimFolder
    Exch $0
    Push $1
    ${Do}
        StrCpy $1 $0 1 -1
        ${If} $1 != "\"
        ${AndIf} $1 != "/"
            ${ExitDo}
        ${EndIf}
        StrCpy $0 $0 -1
    ${Loop}
    Pop $1
    Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_LAST_FOLDER_PART ""
!insertmacro DEFINE_LAST_FOLDER_PART "un."

; The folder Keypilot goes into for one the user gave (on the stack, replaced): that folder when
; it is one of Keypilot's own, its last part "Keypilot" in any case, else a Keypilot folder inside
; it, so that the user's own files there (a README.txt, a LICENSE) are never overwritten.
Function KeypilotFolder
    Exch $0
    Push $1
    Push $0
    Call TrimFolder
    Pop $0
    Push $0
    Call LastFolderPart
    Pop $1
    ${If} $1 != "${APP}"
        StrCpy $0 "$0\${APP}"
    ${EndIf}
    Pop $1
    Exch $0
FunctionEnd

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
    ; Only Keypilot's own files count, whatever else the folder holds.
    SectionGetSize ${SecProgram} $0
    ${GetSize} "$INSTDIR" "/M=${UNINSTALLER} /S=0K /G=0" $1 $2 $3
    IntOp $0 $0 + $1
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

Var InstalledFolder

Function .onInit
    ; An upgrade stays in the folder of the installed copy, whatever /D= says; any other folder
    ; becomes one of Keypilot's own.
    ReadRegStr $InstalledFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $InstalledFolder != ""
        ${IfNot} ${FileExists} "$InstalledFolder\${EXE}"
        ${AndIfNot} ${FileExists} "$InstalledFolder\${UNINSTALLER}"
            StrCpy $InstalledFolder ""
        ${EndIf}
    ${EndIf}
    ${If} $InstalledFolder != ""
        StrCpy $INSTDIR $InstalledFolder
    ${Else}
        Push $INSTDIR
        Call KeypilotFolder
        Pop $INSTDIR
    ${EndIf}

    ; A logon entry that the user switched off in Keypilot (an empty value) stays off.
    ClearErrors
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${IfNot} ${Errors}
    ${AndIf} $0 == ""
        !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
FunctionEnd

Function DirectoryPre
    ${If} $InstalledFolder != ""
        Abort
    ${EndIf}
FunctionEnd

; A folder typed on the page ends as one picked with Browse and as one given with /D=. The page
; takes $INSTDIR from its box again as it closes, so the box gets the folder too.
Function DirectoryLeave
    Push $INSTDIR
    Call KeypilotFolder
    Pop $INSTDIR
    SendMessage $mui.DirectoryPage.Directory ${WM_SETTEXT} 0 "STR:$INSTDIR"
FunctionEnd

Section "un.$(SectionProgram)" UnSecProgram
    SectionIn RO
    Call un.CloseKeypilot
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Never with /r, and only a folder of Keypilot's own: a copy that an older installer put
    ; straight into a user's folder leaves that folder where it is.
    Push $INSTDIR
    Call un.LastFolderPart
    Pop $0
    ${If} $0 == "${APP}"
        RMDir "$INSTDIR"
    ${EndIf}
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
