; The Windows installer: a per-user install into AppData\Local\Programs that needs no
; administrator, a Start menu entry, an entry in "Apps and features" and an uninstaller that
; removes the program and leaves the user's book in AppData\Local alone.
; windows.sh passes VERSION, OUTFILE, FILES (the install lines), UNFILES (the removal lines) and
; ICON (the program's own icon, which the installer and the uninstaller wear too) and WIZARD
; (the picture of their first and last pages, drawn from that icon).
; A 64-bit installer for a 64-bit program: it also runs where only 64-bit Windows programs do.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define NAME "My Brindle Viewer"
!define PUBLISHER "My Brindle Viewer developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MyBrindleViewer"

Name "${NAME}"
OutFile "${OUTFILE}"
BrandingText "${NAME} ${VERSION}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_WELCOMEPAGE_TITLE "Welcome to ${NAME} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${NAME} keeps your book of clients and connects you to any of them through your repeater.$\r$\n$\r$\nIt is installed for you alone and needs no administrator. Your client book stays in your own folder, also if you uninstall the program.$\r$\n$\r$\n$_CLICK"
!define MUI_FINISHPAGE_TITLE "${NAME} is installed"
!define MUI_FINISHPAGE_RUN "$INSTDIR\MyBrindleViewer.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_WELCOMEPAGE_TITLE "Uninstall ${NAME}"
!define MUI_WELCOMEPAGE_TEXT "This removes ${NAME} from this computer. Your client book and your settings stay in your own folder.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
    SetShellVarContext current
    !include "${FILES}"
    SetOutPath "$INSTDIR"
    ; The mark that keeps the book out of this folder, which the uninstaller removes.
    FileOpen $0 "$INSTDIR\MyBrindleViewer.installed" w
    FileWrite $0 "Installed by the installer: each user's book is kept in AppData\Local\${NAME}.$\r$\n"
    FileClose $0
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\MyBrindleViewer.exe"
    ; The installed program looks for the viewer beside its book.
    SetOutPath "$LOCALAPPDATA\${NAME}\Bin"
    IfFileExists "$LOCALAPPDATA\${NAME}\Bin\README.txt" readme_there
        File "/oname=README.txt" "Bin-README.txt"
    readme_there:
    SetOutPath "$INSTDIR"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\MyBrindleViewer.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    ; The installed files by name, never the folder as a whole: a folder the user picked may
    ; hold other things.
    !include "${UNFILES}"
    Delete "$INSTDIR\MyBrindleViewer.installed"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
