; The Windows installer of Yawp Wah: a 64-bit NSIS installer that puts the
; VST3 and the LV2 bundle and the CLAP folder into the shared plug-in
; folders of 64-bit Windows, the factory presets into the shared VST3
; preset folder, and registers an uninstaller in Apps & features.
;
; Built by make-installer.sh, which defines:
;   VERSION       the product version (four numbers)
;   OUTFILE       the installer to write
;   VST3_BUNDLE   the folder "Yawp Wah.vst3" to install
;   LV2_BUNDLE    the folder "yawp-wah.lv2" to install
;   CLAP_FOLDER   the CLAP folder "Yawp Wah" to install (the module
;                 "Yawp Wah.clap", its page, the WebView2 loader if any)
;   LICENSE_FILE  the licence text (CRLF), shown and installed
;   README_FILE   the readme text (CRLF), installed
;   MANUAL_FILE   the manual, one HTML page, installed when HAVE_MANUAL is
;                 defined, with a shortcut in the Start menu
;   GENERATED     a folder holding presets-install.nsh and presets-uninstall.nsh
;   HAVE_PRESETS  defined when there are factory presets
;
; Command line (besides NSIS's own /S for silent and /D=FOLDER, last):
;   /COMPONENTS=vst3,lv2,clap   the formats to install (all by default)
; FOLDER (default: C:\Program Files\Common Files) is the folder whose VST3,
; LV2 and CLAP subfolders receive the plug-ins. Installing removes any earlier
; installation first, so an upgrade leaves no stale files behind.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Yawp Wah"
!define PUBLISHER "Tallow.AUDIO"
!define VST3_NAME "Yawp Wah.vst3"
!define LV2_NAME "yawp-wah.lv2"
; CLAP hosts search their folders recursively: the plug-in's folder goes
; into the CLAP folder whole.
!define CLAP_NAME "Yawp Wah"
!define UNINSTALLER "Uninstall Yawp Wah.exe"
!define MANUAL "Yawp Wah Manual.html"
!define MANUAL_SHORTCUT "$SMPROGRAMS\Yawp Wah Manual.lnk"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallow.AUDIO Yawp Wah"
; Where an installed WebView2 Runtime records its version folder, per
; channel (stable, beta, dev, canary): the editors look there too.
!define WEBVIEW2_STATE "Microsoft\EdgeUpdate\ClientState"
!define WEBVIEW2_CHANNELS "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5} {2CD8A007-E189-409D-A2C8-9AF4EF3C72AA} {0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10} {65C35B14-6C1D-4122-AC46-7148CC9D6497}"
!define WEBVIEW2_URL "https://developer.microsoft.com/microsoft-edge/webview2/"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$COMMONFILES64"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

Var Components      ; the /COMPONENTS= list, or empty
Var FinishText      ; the last page's text, built after installing
Var AppFolder       ; where the uninstaller, licence and readme go
Var PresetFolder    ; the factory presets' folder

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the VST3, LV2 and CLAP plug-ins into the VST3, LV2 and CLAP folders inside the folder below, where 64-bit hosts look for them. Choose another folder only if your hosts scan it."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Folder holding the VST3, LV2 and CLAP plug-in folders"
!define MUI_FINISHPAGE_TITLE "${PRODUCT} ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_NOREBOOTSUPPORT

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; --- before anything is installed ------------------------------------------

; Removes the bundle folder an installation recorded under the registry
; value VALUE, but only when the recorded path ends in "\NAME": a folder of
; the user's that merely sits where a bundle was is never taken (the CLAP
; folder's NAME is "CLAP\Yawp Wah", its plain name being no sign of ours). (An empty
; or missing value fails that test too.) Uses $0 to $2.
!macro RemoveRecordedBundle VALUE NAME
  ReadRegStr $0 HKLM "${UNINST_KEY}" "${VALUE}"
  StrLen $2 "\${NAME}"
  IntOp $2 0 - $2
  StrCpy $1 $0 "" $2
  ${If} $1 == "\${NAME}"
    RMDir /r "$0"
  ${EndIf}
!macroend

; Takes away an earlier installation, whatever its version and folders:
; its own uninstaller knows exactly what it installed. Without one, the
; bundle folders it recorded go, which are ours by name.
Function RemoveEarlierInstallation
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${UNINSTALLER}"
    DetailPrint "Removing the installed version first"
    ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
    Delete "$0\${UNINSTALLER}"
    RMDir "$0"
  ${EndIf}
  !insertmacro RemoveRecordedBundle "VST3Bundle" "${VST3_NAME}"
  !insertmacro RemoveRecordedBundle "LV2Bundle" "${LV2_NAME}"
  !insertmacro RemoveRecordedBundle "CLAPFolder" "CLAP\${CLAP_NAME}"
  DeleteRegKey HKLM "${UNINST_KEY}"
FunctionEnd

; --- components --------------------------------------------------------------

Section "-Earlier installation"
  Call RemoveEarlierInstallation
SectionEnd

Section "VST3 plug-in" SecVst3
  SetOutPath "$INSTDIR\VST3"
  RMDir /r "$INSTDIR\VST3\${VST3_NAME}"
  File /r "${VST3_BUNDLE}"
  WriteRegStr HKLM "${UNINST_KEY}" "VST3Bundle" "$INSTDIR\VST3\${VST3_NAME}"
!ifdef HAVE_PRESETS
  !include "${GENERATED}/presets-install.nsh"
  WriteRegDWORD HKLM "${UNINST_KEY}" "FactoryPresets" 1
!endif
SectionEnd

Section "LV2 plug-in" SecLv2
  SetOutPath "$INSTDIR\LV2"
  RMDir /r "$INSTDIR\LV2\${LV2_NAME}"
  File /r "${LV2_BUNDLE}"
  WriteRegStr HKLM "${UNINST_KEY}" "LV2Bundle" "$INSTDIR\LV2\${LV2_NAME}"
SectionEnd

Section "CLAP plug-in" SecClap
  SetOutPath "$INSTDIR\CLAP"
  RMDir /r "$INSTDIR\CLAP\${CLAP_NAME}"
  File /r "${CLAP_FOLDER}"
  WriteRegStr HKLM "${UNINST_KEY}" "CLAPFolder" "$INSTDIR\CLAP\${CLAP_NAME}"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst3} "The VST3 plug-in, for most hosts (Cubase, Studio One, Live, Reaper, Bitwig...), with its factory presets."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecLv2} "The LV2 plug-in, for hosts that load LV2 (Ardour, Mixbus, Reaper, Carla...)."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecClap} "The CLAP plug-in, for hosts that load CLAP (Bitwig, Reaper, Studio One, Carla...), with the factory presets inside it."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The uninstaller, the licence, the readme and the manual, and the entry
; in Apps & features, once the bundles are in place.
Section "-Registration"
  SetOutPath "$AppFolder"
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  File "/oname=README.txt" "${README_FILE}"
!ifdef HAVE_MANUAL
  File "/oname=${MANUAL}" "${MANUAL_FILE}"
  CreateShortCut "${MANUAL_SHORTCUT}" "$AppFolder\${MANUAL}"
!endif
  WriteUninstaller "$AppFolder\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "URLInfoAbout" "https://tallow.audio"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$AppFolder\${UNINSTALLER},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$AppFolder"
  WriteRegStr HKLM "${UNINST_KEY}" "PluginFolder" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$AppFolder\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$AppFolder\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  Call InstalledSize
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

  Call ComposeFinishText
SectionEnd

; $0 = the kilobytes now installed.
Function InstalledSize
  StrCpy $0 0
  ${GetSize} "$AppFolder" "/S=0K" $1 $2 $3
  IntOp $0 $0 + $1
  ${If} ${SectionIsSelected} ${SecVst3}
    ${GetSize} "$INSTDIR\VST3\${VST3_NAME}" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
!ifdef HAVE_PRESETS
    ${GetSize} "$PresetFolder" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
!endif
  ${EndIf}
  ${If} ${SectionIsSelected} ${SecLv2}
    ${GetSize} "$INSTDIR\LV2\${LV2_NAME}" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
  ${EndIf}
  ${If} ${SectionIsSelected} ${SecClap}
    ${GetSize} "$INSTDIR\CLAP\${CLAP_NAME}" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
  ${EndIf}
FunctionEnd

; --- the editors' needs --------------------------------------------------------

; $0 = 1 when the version folder in $1 holds the runtime's 64-bit library.
Function IsWebView2Folder
  StrCpy $0 0
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\EBWebView\x64\EmbeddedBrowserWebView.dll"
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; $0 = 1 when a WebView2 Runtime that the editors can use is installed for
; the machine (the registry's 32-bit view) or for this user, in any channel.
Function FindWebView2Runtime
  StrCpy $0 0
  StrCpy $2 "${WEBVIEW2_CHANNELS} "
  ${Do}
    StrCpy $3 $2 38
    StrCpy $2 $2 "" 39
    ReadRegStr $1 HKLM "SOFTWARE\WOW6432Node\${WEBVIEW2_STATE}\$3" "EBWebView"
    Call IsWebView2Folder
    ${If} $0 == 0
      ReadRegStr $1 HKCU "Software\${WEBVIEW2_STATE}\$3" "EBWebView"
      Call IsWebView2Folder
    ${EndIf}
    ${If} $0 == 1
    ${OrIf} $2 == ""
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

; What the last page says: that the plug-ins work, and, only when no
; WebView2 Runtime is found, what their editors still need. The page has
; room for a dozen short lines; the install log gets the same note.
Function ComposeFinishText
  StrCpy $FinishText "Let your host rescan its plug-ins."
  Call FindWebView2Runtime
  ${If} $0 == 0
    StrCpy $1 "The plug-ins work, but their editors need Microsoft's WebView2 Runtime, which this PC lacks: get it from ${WEBVIEW2_URL}. Until then, hosts show their own controls."
    DetailPrint "$1"
    StrCpy $FinishText "$FinishText$\r$\n$\r$\n$1"
  ${EndIf}
FunctionEnd

; --- start-up ----------------------------------------------------------------

; Selects the sections named in $Components ("vst3", "lv2", "clap",
; separated by commas); quits with status 2 on a name it does not know or
; an empty list.
Function ChooseComponents
  StrCpy $R0 0      ; position in the list
  StrCpy $R1 ""     ; the name being read
  StrCpy $R3 0      ; VST3 chosen
  StrCpy $R4 0      ; LV2 chosen
  StrCpy $R6 0      ; CLAP chosen
  StrLen $R5 $Components
  ${Do}
    StrCpy $R2 $Components 1 $R0
    ${If} $R2 == ","
    ${OrIf} $R0 >= $R5
      ${If} $R1 == "vst3"
        StrCpy $R3 1
      ${ElseIf} $R1 == "lv2"
        StrCpy $R4 1
      ${ElseIf} $R1 == "clap"
        StrCpy $R6 1
      ${ElseIf} $R1 != ""
        MessageBox MB_ICONSTOP|MB_OK "Unknown component $\"$R1$\" in /COMPONENTS= (known: vst3, lv2, clap)." /SD IDOK
        SetErrorLevel 2
        Quit
      ${EndIf}
      StrCpy $R1 ""
    ${Else}
      StrCpy $R1 "$R1$R2"
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${LoopUntil} $R0 > $R5
  ${If} $R3 == 0
  ${AndIf} $R4 == 0
  ${AndIf} $R6 == 0
    MessageBox MB_ICONSTOP|MB_OK "/COMPONENTS= names no component (known: vst3, lv2, clap)." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ${If} $R3 == 0
    !insertmacro UnselectSection ${SecVst3}
  ${EndIf}
  ${If} $R4 == 0
    !insertmacro UnselectSection ${SecLv2}
  ${EndIf}
  ${If} $R6 == 0
    !insertmacro UnselectSection ${SecClap}
  ${EndIf}
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows and a 64-bit host. This is 32-bit Windows, so Setup stops here." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  StrCpy $AppFolder "$PROGRAMFILES64\${PUBLISHER}\${PRODUCT}"
  StrCpy $PresetFolder "$APPDATA\VST3 Presets\${PUBLISHER}\${PRODUCT}"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/COMPONENTS=" $Components
  ${IfNot} ${Errors}
    Call ChooseComponents
  ${EndIf}
FunctionEnd

; Nothing chosen, nothing to install.
Function .onSelChange
  ${If} ${SectionIsSelected} ${SecVst3}
  ${OrIf} ${SectionIsSelected} ${SecLv2}
  ${OrIf} ${SectionIsSelected} ${SecClap}
    GetDlgItem $0 $HWNDPARENT 1
    EnableWindow $0 1
  ${Else}
    GetDlgItem $0 $HWNDPARENT 1
    EnableWindow $0 0
  ${EndIf}
FunctionEnd

; --- the uninstaller ---------------------------------------------------------

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $PresetFolder "$APPDATA\VST3 Presets\${PUBLISHER}\${PRODUCT}"
FunctionEnd

; Removes what the installer put in place and nothing else: the two bundle
; folders and the CLAP folder (ours by name, and only where they were
; installed), each factory
; preset file by name (a preset the user saved beside them stays), then
; the folders left empty, the program folder and the registry entry.
Section "Uninstall"
  !insertmacro RemoveRecordedBundle "VST3Bundle" "${VST3_NAME}"
  !insertmacro RemoveRecordedBundle "LV2Bundle" "${LV2_NAME}"
  !insertmacro RemoveRecordedBundle "CLAPFolder" "CLAP\${CLAP_NAME}"
  ReadRegDWORD $0 HKLM "${UNINST_KEY}" "FactoryPresets"
!ifdef HAVE_PRESETS
  ${If} $0 == 1
    !include "${GENERATED}/presets-uninstall.nsh"
    RMDir "$PresetFolder"
    RMDir "$PresetFolder\.."
  ${EndIf}
!endif
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${MANUAL}"
  Delete "${MANUAL_SHORTCUT}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
