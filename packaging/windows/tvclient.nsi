; The Windows installer of tvclient, written by scripts/dist:
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> tvclient.nsi
; STAGE holds tvclient.exe, README.txt and licences\*.txt. In Bulgarian; it
; installs to Program Files\tvclient, makes a Start-menu shortcut, registers
; the program with Windows' list of installed programs and writes the
; uninstaller. The subscriber's saved login stays on uninstall. /S installs
; (and uninstalls) silently.

; A 64-bit installer for a 64-bit program (Windows runs it as it runs the
; program; Wine here runs nothing else).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "tvclient"
!define PUBLISHER "tvclient"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tvclient"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

Var FinishText

!define MUI_ICON "${STAGE}\tvclient.ico"
!define MUI_UNICON "${STAGE}\tvclient.ico"
!define MUI_FINISHPAGE_TITLE "tvclient е инсталиран"
!define MUI_FINISHPAGE_TEXT "$FinishText"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Bulgarian"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "FileDescription" "Инсталиране на tvclient"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_BULGARIAN} "LegalCopyright" "${COPYRIGHT}"

; The 64-bit VLC 3 that the program plays with: the folder VLC's installer
; registers, else its usual folder. Sets $0 to the folder, or "".
Function FindVlc
    StrCpy $0 ""
    ReadRegStr $1 HKLM "SOFTWARE\VideoLAN\VLC" "InstallDir"
    ReadRegStr $2 HKLM "SOFTWARE\VideoLAN\VLC" "Version"
    ${If} $1 != ""
    ${AndIf} ${FileExists} "$1\libvlc.dll"
        StrCpy $0 $1
    ${ElseIf} ${FileExists} "$PROGRAMFILES64\VideoLAN\VLC\libvlc.dll"
        StrCpy $0 "$PROGRAMFILES64\VideoLAN\VLC"
    ${EndIf}
    ; Another major version of VLC does not do.
    StrCpy $3 $2 2
    ${If} $2 != ""
    ${AndIf} $3 != "3."
        StrCpy $0 ""
    ${EndIf}
FunctionEnd

; Only a folder inside Program Files: it has Program Files' permissions, so
; no other user of the computer can put a library beside the program (a
; folder elsewhere inherits the drive's "Authenticated Users: Modify").
; Sets $0 to 1 for such a folder, else 0.
Function InProgramFiles
    StrCpy $0 0
    StrLen $1 "$PROGRAMFILES64\"
    StrCpy $2 "$INSTDIR" $1
    ${If} $2 == "$PROGRAMFILES64\"
        StrCpy $0 1
    ${EndIf}
    ; With no way back up out of it ("\.." or "/..").
    StrCpy $3 0
    ${Do}
        StrCpy $4 "$INSTDIR" 3 $3
        ${If} $4 == ""
            ${Break}
        ${EndIf}
        ${If} $4 == "\.."
        ${OrIf} $4 == "/.."
            StrCpy $0 0
            ${Break}
        ${EndIf}
        IntOp $3 $3 + 1
    ${Loop}
FunctionEnd

; The directory page's Next button only for such a folder.
Function .onVerifyInstDir
    Call InProgramFiles
    ${If} $0 != 1
        Abort
    ${EndIf}
FunctionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "tvclient работи само на 64-битов Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    SetShellVarContext all
    Call FindVlc
    ${If} $0 == ""
        StrCpy $FinishText "tvclient е инсталиран, но на този компютър не е намерен VLC 3 за Windows (64-битов), с който той показва телевизията.$\r$\n$\r$\nИзтеглете VLC от https://www.videolan.org/vlc/ (64-битовата версия 3.0) и го инсталирайте, преди да стартирате tvclient."
    ${Else}
        StrCpy $FinishText "tvclient е инсталиран и ще показва телевизията с VLC от $0.$\r$\n$\r$\nСтартирайте го от менюто „Старт“: tvclient."
    ${EndIf}
FunctionEnd

Section "tvclient"
    ; A silent install's /D= is not checked by the directory page.
    Call InProgramFiles
    ${If} $0 != 1
        MessageBox MB_OK|MB_ICONSTOP "tvclient се инсталира само в папка в $PROGRAMFILES64, където никой друг потребител не може да подмени файловете му." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${STAGE}\tvclient.exe"
    File "${STAGE}\README.txt"
    SetOutPath "$INSTDIR\licences"
    File "${STAGE}\licences\*.txt"
    ; The shortcut starts the program in its own folder.
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\tvclient.exe" "" "$INSTDIR\tvclient.exe" 0
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tvclient.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; Everything the installer wrote goes; the subscriber's saved login (under
; the user's own registry) stays.
Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$INSTDIR\tvclient.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\licences\gcc-runtime.txt"
    Delete "$INSTDIR\licences\mingw-w64-runtime.txt"
    RMDir "$INSTDIR\licences"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
