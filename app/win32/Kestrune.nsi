; The setup program: installs the files staged by scripts/package-windows under Program Files,
; adds a Start-menu entry and an uninstaller listed in Add/Remove Programs. /S installs silently,
; /D=<folder> (last on the command line) chooses the folder.
; makensis -DBITS=<32|64> -DVERSION=<x.y.z> -DSTAGE=<staged files> -DICON=<.ico> -DOUTFILE=<setup.exe> Kestrune.nsi
!if ${BITS} == 64
    Target amd64-unicode
!else
    Unicode true
!endif
SetCompressor /SOLID lzma

!define PRODUCT "Velmora电音助手"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrune"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
!if ${BITS} == 64
    InstallDir "$PROGRAMFILES64\Kestrune"
!else
    InstallDir "$PROGRAMFILES\Kestrune"
!endif
; The program itself asks for administrator rights; so does its installation for all users.
RequestExecutionLevel admin
ShowInstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "Kestrune Team"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Kestrune Team"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!macro REGISTRY_VIEW
    !if ${BITS} == 64
        SetRegView 64
    !endif
!macroend

Section "Kestrune"
    SetShellVarContext all
    !insertmacro REGISTRY_VIEW
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Kestrune.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kestrune Team"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrune.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    !insertmacro REGISTRY_VIEW
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Only what the setup program put there; the user's data under %LOCALAPPDATA% stays.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\Kestrune.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
