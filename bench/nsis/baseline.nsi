; The installer scripts/install-bench.sh times the setup program against: what an NSIS installer
; does for the same job, and nothing more (it checks no byte it copies): the Data folder beside
; it copied into <folder>\Korvel-Tarnwick, a loader key and the entry in Programs and Features
; written, an uninstaller placed. makensis -DOUT=<exe> baseline.nsi
Unicode true
Target amd64-unicode
Name "KorvelBaseline"
Caption "KorvelBaseline"
OutFile "${OUT}"
InstallDir "C:\Korvel"
RequestExecutionLevel admin
SetCompressor zlib

!define LOADER "SOFTWARE\Autodesk\AutoCAD\R24.1\ACAD-5101:804\Applications\KorvelBaseline"
!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvelBaseline"

Page directory
Page instfiles
UninstPage instfiles

Section
  SetOutPath "$INSTDIR\Korvel-Tarnwick"
  CopyFiles /SILENT "$EXEDIR\Data\*.*" "$INSTDIR\Korvel-Tarnwick"
  WriteRegStr HKLM "${LOADER}" "LOADER" "$INSTDIR\Korvel-Tarnwick\Korvel2022.arx"
  WriteRegDWORD HKLM "${LOADER}" "LOADCTRLS" 2
  WriteRegStr HKLM "${ENTRY}" "DisplayName" "KorvelBaseline"
  WriteRegStr HKLM "${ENTRY}" "UninstallString" '"$INSTDIR\Korvel-Tarnwick\uninst.exe"'
  WriteUninstaller "$INSTDIR\Korvel-Tarnwick\uninst.exe"
SectionEnd

Section Uninstall
  DeleteRegKey HKLM "${LOADER}"
  DeleteRegKey HKLM "${ENTRY}"
  RMDir /r "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
