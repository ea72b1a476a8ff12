; Tessaline's installer. Built by CMake (installer/CMakeLists.txt), which passes:
;   VERSION   the project's version (major.minor.patch)
;   BIN_DIR   the build's bin/ folder: Tessaline.exe, language.ini, Kestrune\kessrv.exe
;   OUTFILE   where Tessaline-Setup.exe goes
;   ICON      the program's icon
;   X64       (defined for the 64-bit edition) a 64-bit installer into the 64-bit Program
;             Files; 32-bit Windows cannot start it and says so itself
; Command line: /S installs silently; /LANG=n picks the language by the program's
; installer number (1 English ... 11 Arabic), in silent mode or as the dialog's default;
; /D=folder sets the install folder (last, unquoted).
!ifdef X64
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Tessaline"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaline"
; Where the program takes over the installer's language on its first run.
!define FIRST_RUN_KEY "SOFTWARE\Orvalin_Init"
!define SETTINGS_KEY "SOFTWARE\Orvalin"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!ifdef X64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
ShowInstDetails nevershow
ShowUninstDetails nevershow

!pragma warning disable 9100  ; no copyright line in the version information
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tessaline.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The languages of language.ini in the order of the program's installer numbers, each
; with its NSIS language file and the name it gives itself.
!macro FOR_EACH_LANGUAGE DO
  !insertmacro ${DO} 1 English "English"
  !insertmacro ${DO} 2 German "Deutsch"
  !insertmacro ${DO} 3 Spanish "Español"
  !insertmacro ${DO} 4 French "Français"
  !insertmacro ${DO} 5 Italian "Italiano"
  !insertmacro ${DO} 6 Japanese "日本語"
  !insertmacro ${DO} 7 SimpChinese "简体中文"
  !insertmacro ${DO} 8 TradChinese "繁體中文"
  !insertmacro ${DO} 9 Dutch "Nederlands"
  !insertmacro ${DO} 10 Portuguese "Português"
  !insertmacro ${DO} 11 Arabic "العربية"
!macroend

; Loads the installer's own texts and builds the dialog's list: "name" id pairs.
!define LANGUAGE_CHOICES ""
!macro LOAD_LANGUAGE NUMBER NLF NAME
  !insertmacro MUI_LANGUAGE ${NLF}
  !define /redef LANGUAGE_CHOICES `${LANGUAGE_CHOICES} "${NAME}" ${LANG_${NLF}}`
!macroend
!insertmacro FOR_EACH_LANGUAGE LOAD_LANGUAGE

; $0 holds an installer number: the matching NSIS language becomes $LANGUAGE.
!macro LANGUAGE_OF_NUMBER NUMBER NLF NAME
  ${If} $0 == ${NUMBER}
    StrCpy $LANGUAGE ${LANG_${NLF}}
  ${EndIf}
!macroend
; The other way: the installer number of $LANGUAGE into $0.
!macro NUMBER_OF_LANGUAGE NUMBER NLF NAME
  ${If} $LANGUAGE == ${LANG_${NLF}}
    StrCpy $0 ${NUMBER}
  ${EndIf}
!macroend

Function .onInit
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/LANG=" $0
  ${IfNot} ${Errors}
    !insertmacro FOR_EACH_LANGUAGE LANGUAGE_OF_NUMBER
  ${EndIf}
  ${IfNot} ${Silent}
    LangDLL::LangDialog "${PRODUCT}" "Please select a language." A ${LANGUAGE_CHOICES} ""
    Pop $LANGUAGE
    ${If} $LANGUAGE == "cancel"
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Tessaline.exe"
  File "${BIN_DIR}/language.ini"
  SetOutPath "$INSTDIR\Kestrune"
  File "${BIN_DIR}/Kestrune/kessrv.exe"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  StrCpy $0 1
  !insertmacro FOR_EACH_LANGUAGE NUMBER_OF_LANGUAGE
  WriteRegDWORD HKCU "${FIRST_RUN_KEY}" "language" $0

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Tessaline.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tessaline.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ; The uninstaller speaks the language the installer recorded, while it is there.
  ReadRegDWORD $0 HKCU "${FIRST_RUN_KEY}" "language"
  !insertmacro FOR_EACH_LANGUAGE LANGUAGE_OF_NUMBER
FunctionEnd

; Only what the installer put there goes: the destination folder (by default "recovery"
; inside the install folder) and the cache folder stay, so folders are removed only
; when empty and never by wildcard.
Section "Uninstall"
  Delete "$INSTDIR\Tessaline.exe"
  Delete "$INSTDIR\language.ini"
  Delete "$INSTDIR\Kestrune\kessrv.exe"
  RMDir "$INSTDIR\Kestrune"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "C:\Orvalin.log"  ; the RAW decoder's diagnostic log

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey HKCU "${FIRST_RUN_KEY}"
  ; Last, so that whoever waits for the uninstaller can watch this key go.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
