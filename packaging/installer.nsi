; The installer of one architecture: Sonvex2, the example engine, the tools, the guides and
; the SDK in the installation folder, Brisane in the VST plug-in folder of that bitness.
; makensis defines: TREE (win32 or win64), VERSION (the release), SONVEX2_VERSION,
; BRISANE_VERSION, STAGE (the laid-out files), FILES (the generated file lists), OUTFILE.
;
; Command line: /S silent, /PLUGINDIR=folder the VST plug-in folder, /D=folder the
; installation folder (last, unquoted). The uninstaller takes /S.
Unicode true
!if "${TREE}" == "win64"
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
  !define BITS "64-bit"
!else
  !define PROGRAMS "$PROGRAMFILES32"
  !define BITS "32-bit"
!endif
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define PRODUCT "Sonvex2 and Brisane"
!define PUBLISHER "Velk Digital Media"
; One key holds what the uninstaller and a later installer need; a 32-bit installer on 64-bit
; Windows writes it, like every key it makes, in the 32-bit view (WOW6432Node).
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT} (${BITS})"

Name "${PRODUCT} ${VERSION} (${BITS})"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
InstallDir "${PROGRAMS}\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup (${BITS})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

Var PluginDir
Var PluginDirCreated
Var OldDir

Page directory
PageEx directory
  DirVar $PluginDir
  DirText "Setup puts the Brisane plug-in (Brisane.dll, ${BITS}) in this VST plug-in folder. Your host must scan it." \
          "VST plug-in folder"
PageExEnd
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ; The plug-in folder: the one the registry names, else VstPlugins under this bitness's
  ; Program Files; an earlier installation's choice stays; /PLUGINDIR= overrides them all.
  ReadRegStr $PluginDir HKLM "Software\VST" "VSTPluginsPath"
  ${If} $PluginDir == ""
    StrCpy $PluginDir "${PROGRAMS}\VstPlugins"
  ${EndIf}
  ReadRegStr $OldDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $OldDir != ""
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${VersionCompare} "$0" "${VERSION}" $1
    ${If} $1 == 1
      MessageBox MB_ICONSTOP "${PRODUCT} $0 is installed, newer than this version (${VERSION})." /SD IDOK
      SetErrorLevel 3
      Abort
    ${EndIf}
    StrCpy $INSTDIR $OldDir
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginFolder"
    ${If} $0 != ""
      StrCpy $PluginDir $0
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PLUGINDIR=" $1
  ${IfNot} ${Errors}
    StrCpy $PluginDir $1
  ${EndIf}
FunctionEnd

Section "Install"
  ; An earlier version goes first, by its own uninstaller: it knows what it made.
  ${If} $OldDir != ""
  ${AndIf} ${FileExists} "$OldDir\uninstall.exe"
    DetailPrint "Removing the installed version from $OldDir"
    ExecWait '"$OldDir\uninstall.exe" /S _?=$OldDir' $0
    Delete "$OldDir\uninstall.exe"
    RMDir "$OldDir"
  ${EndIf}

  !include "${FILES}\install.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A plug-in folder that exists already (a host's, the user's) is never removed.
  StrCpy $PluginDirCreated 0
  ${IfNot} ${FileExists} "$PluginDir\*.*"
    StrCpy $PluginDirCreated 1
  ${EndIf}
  SetOutPath "$PluginDir"
  File "${STAGE}/Brisane.dll"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (${BITS})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginFolder" "$PluginDir"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PluginFolderCreated" $PluginDirCreated
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Registered by the modules themselves, as regsvr32 registers them.
  ClearErrors
  RegDLL "$INSTDIR\Sonvex2.dll"
  RegDLL "$INSTDIR\ExampleEngine.dll"
  ${If} ${Errors}
    DetailPrint "Registering Sonvex2.dll or ExampleEngine.dll failed"
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Section "Uninstall"
  ReadRegStr $PluginDir HKLM "${UNINSTALL_KEY}" "PluginFolder"
  ReadRegDWORD $PluginDirCreated HKLM "${UNINSTALL_KEY}" "PluginFolderCreated"
  UnRegDLL "$INSTDIR\ExampleEngine.dll"
  UnRegDLL "$INSTDIR\Sonvex2.dll"
  ${If} $PluginDir != ""
    Delete "$PluginDir\Brisane.dll"
    ${If} $PluginDirCreated == 1
      RMDir "$PluginDir"
    ${EndIf}
  ${EndIf}
  ; Only the files this version installed: whatever else is in the folders stays, and so do
  ; the folders holding it.
  !include "${FILES}\uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The uninstaller runs as a copy in a temporary folder, which goes at the next restart; the
  ; copy first, so that its folder is empty by the time it is removed.
  ${If} $EXEDIR != $INSTDIR
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
