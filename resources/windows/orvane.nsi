; The Windows installer: per user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Orvane, with a Start menu shortcut and an entry in
; the list of installed apps, and a "Play with Orvane" verb on folders and
; MP3 files in the shell's menus. /S installs and uninstalls silently. The
; settings under HKCU\Software\Orvane belong to the user and stay.
;
; makensis -DVERSION=3.0.0 -DBUILD=<folder with orvane.exe and the tray
;          images> -DICON=<orvane.ico> -DOUTFILE=<setup.exe> orvane.nsi

!ifndef VERSION
  !error "VERSION must be defined"
!endif
!ifndef BUILD
  !error "BUILD must be defined"
!endif
!ifndef ICON
  !error "ICON must be defined"
!endif
!ifndef OUTFILE
  !error "OUTFILE must be defined"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "Orvane"
!define PUBLISHER "The Orvane authors"
!define WEBSITE "https://orvane.example.org/"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane"
!define UNINSTALLER "uninstall.exe"
; "Play with Orvane" on folders and on MP3 files, for this user: a verb of
; its own beside the others, no default association taken.
!define VERB "Orvane.Play"
!define VERB_TEXT "Play with Orvane"
!define FOLDER_VERBS "Software\Classes\Directory\shell"
!define MP3_VERBS "Software\Classes\SystemFileAssociations\.mp3\shell"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; An earlier install is upgraded where it is.
InstallDir "$LOCALAPPDATA\Programs\Orvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${VERSION} for you alone; it needs no \
administrator rights.$\r$\n$\r$\nAn earlier version is upgraded where it is. If ${PRODUCT} is \
running, Setup closes it first; your settings are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\orvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running Orvane keeps its files busy. Each of its windows is asked to
; close, as the desktop asks at the end of a session: the player stops and
; stores its settings. The window classes are the program's own. Whoever
; still runs after a few seconds (a question open in a message box) is left
; to the user; silently, setup then stops with exit code 2.
!macro CloseRunningOrvane UN
Function ${UN}orvaneWindow
  FindWindow $0 "OrvaneMain"
  ${If} $0 == 0
    FindWindow $0 "OrvaneAbout"
  ${EndIf}
  ${If} $0 == 0
    FindWindow $0 "OrvaneSplash"
  ${EndIf}
FunctionEnd

Function ${UN}closeRunningOrvane
  Call ${UN}orvaneWindow
  ${If} $0 == 0
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
    "${PRODUCT} is running. Choose OK to close it and go on; its settings are kept." \
    /SD IDOK IDOK close
  SetErrorLevel 1
  Quit
close:
  StrCpy $1 0
  ${Do}
    Call ${UN}orvaneWindow
    ${If} $0 == 0
      ; The process ends right after its last window.
      Sleep 500
      Return
    ${EndIf}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    Sleep 200
    IntOp $1 $1 + 1
    ${If} $1 >= 25
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} is still running. Close it (Exit on its tray menu), then choose Retry." \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
    retry:
      StrCpy $1 0
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro CloseRunningOrvane ""
!insertmacro CloseRunningOrvane "un."

; The shell's menus read the verbs afresh once told that they have changed.
!macro AssociationsChanged
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

!macro WriteVerb KEY
  WriteRegStr HKCU "${KEY}\${VERB}" "" "${VERB_TEXT}"
  WriteRegStr HKCU "${KEY}\${VERB}" "Icon" '"$INSTDIR\orvane.exe",0'
  WriteRegStr HKCU "${KEY}\${VERB}\command" "" '"$INSTDIR\orvane.exe" "%1"'
!macroend

Section "Orvane"
  Call closeRunningOrvane
  SetOutPath "$INSTDIR"
  File "${BUILD}/orvane.exe"
  File "${BUILD}/Volume02.ico"
  File "${BUILD}/Volume03.ico"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\orvane.exe" "" "$INSTDIR\orvane.exe" 0 \
    SW_SHOWNORMAL "" "Play a folder tree of MP3 files as one sequence"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  !insertmacro WriteVerb "${FOLDER_VERBS}"
  !insertmacro WriteVerb "${MP3_VERBS}"
  !insertmacro AssociationsChanged
SectionEnd

; Only what setup put there goes; a folder the user has added files to stays.
Section "Uninstall"
  Call un.closeRunningOrvane
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\orvane.exe"
  Delete "$INSTDIR\Volume02.ico"
  Delete "$INSTDIR\Volume03.ico"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The verbs, and the keys above them that were made for them alone.
  DeleteRegKey HKCU "${FOLDER_VERBS}\${VERB}"
  DeleteRegKey /ifempty HKCU "${FOLDER_VERBS}"
  DeleteRegKey /ifempty HKCU "Software\Classes\Directory"
  DeleteRegKey HKCU "${MP3_VERBS}\${VERB}"
  DeleteRegKey /ifempty HKCU "${MP3_VERBS}"
  DeleteRegKey /ifempty HKCU "Software\Classes\SystemFileAssociations\.mp3"
  DeleteRegKey /ifempty HKCU "Software\Classes\SystemFileAssociations"
  !insertmacro AssociationsChanged
  RMDir "$INSTDIR"
SectionEnd
