; The installer of the Windows build: the portable folder's files into Program Files, a
; Start-menu entry with the program's icon, and an uninstaller that removes what it installed
; and leaves the user's settings (Config.ini, Default.pol) wherever they are.
; makensis -DVERSION=... -DSTAGE=<portable folder> -DOUTFILE=... installer.nsi
; A 64-bit installer: 64-bit Windows is what the program needs, and Wine runs it without its 32-bit part.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define NAME "serialdebug"
!define TITLE "串口调试"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
Icon "${STAGE}\serialdebug.ico"
UninstallIcon "${STAGE}\serialdebug.ico"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\serialdebug.exe" "" "$INSTDIR\serialdebug.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\serialdebug.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${TITLE}.lnk"
    !include "${FILELIST}"
    Delete "$INSTDIR\uninstall.exe"
    ; Not /r: a folder that still holds the user's settings stays, with them.
    RMDir "$INSTDIR\platforms"
    RMDir "$INSTDIR\styles"
    RMDir "$INSTDIR\translations"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
