; The peer installer for the benchmark: the same per-user job done with NSIS.
; makensis -DPAYLOAD=<path of orvane-worker.exe> -DOUTFILE=<installer path> orvane-worker.nsi
;
; Install (/S for silent): %LOCALAPPDATA%\Programs\Orvane Worker, orvane-worker.exe (an older copy
; moved aside to orvane-worker.exe.old first), its own uninstall.exe, the folder appended to
; HKCU\Environment\Path (REG_EXPAND_SZ, unless an entry already names it), the WM_SETTINGCHANGE
; "Environment" broadcast (3000 ms time-out) and the nine values of the uninstall entry.
; Uninstall (uninstall.exe /S): the folder out of Path, the broadcast, the key deleted, the files
; and the folder deleted.

!ifndef PAYLOAD
  !error "define PAYLOAD: the orvane-worker.exe to carry"
!endif
!ifndef OUTFILE
  !define OUTFILE "orvane-worker-setup-nsis.exe"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
SetDatablockOptimize on
CRCCheck on
XPStyle off
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define PRODUCT "Orvane Worker"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneWorker"
!define HWND_BROADCAST 0xFFFF
!define WM_SETTINGCHANGE 0x001A

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
Page instfiles
UninstPage instfiles

; $R0: the Path value, $R1: the folder. Leaves "1" in $R2 when an entry of $R0 names $R1
; (ignoring letter case and trailing backslashes), else "0".
!macro PATH_HAS_FOLDER un
Function ${un}PathHasFolder
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R2 "0"
  StrCpy $R3 $R0
  loop:
    StrCmp $R3 "" done
    StrCpy $R4 ""
    next_char:
      StrCpy $R5 $R3 1
      StrCpy $R3 $R3 "" 1
      StrCmp $R5 ";" entry_done
      StrCpy $R4 "$R4$R5"
      StrCmp $R3 "" entry_done next_char
    entry_done:
    trim:
      StrCpy $R5 $R4 1 -1
      StrCmp $R5 "\" 0 compare
      StrCpy $R4 $R4 -1
      Goto trim
    compare:
      StrCmp $R4 $R1 0 loop
      StrCpy $R2 "1"
  done:
  Pop $R5
  Pop $R4
  Pop $R3
FunctionEnd
!macroend
!insertmacro PATH_HAS_FOLDER ""

Section "Install"
  SetOutPath "$INSTDIR"
  IfFileExists "$INSTDIR\orvane-worker.exe" 0 place
    Delete "$INSTDIR\orvane-worker.exe.old"
    Rename "$INSTDIR\orvane-worker.exe" "$INSTDIR\orvane-worker.exe.old"
  place:
  File "/oname=orvane-worker.exe" "${PAYLOAD}"
  Delete "$INSTDIR\orvane-worker.exe.old"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ClearErrors
  ReadRegStr $R0 HKCU "Environment" "Path"
  StrCpy $R1 "$INSTDIR"
  Call PathHasFolder
  StrCmp $R2 "1" broadcast
  StrCmp $R0 "" 0 append
    WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR"
    Goto broadcast
  append:
  trim_semicolons:
    StrCpy $R3 $R0 1 -1
    StrCmp $R3 ";" 0 +3
    StrCpy $R0 $R0 -1
    Goto trim_semicolons
  WriteRegExpandStr HKCU "Environment" "Path" "$R0;$INSTDIR"
  broadcast:
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=3000

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "0.2.3"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Pellinor Private Limited"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvane-worker.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Rebuild Path without empty entries and without the entries that name the folder.
  ClearErrors
  ReadRegStr $R0 HKCU "Environment" "Path"
  IfErrors broadcast
  StrCpy $R1 ""
  loop:
    StrCmp $R0 "" write
    StrCpy $R2 ""
    next_char:
      StrCpy $R3 $R0 1
      StrCpy $R0 $R0 "" 1
      StrCmp $R3 ";" entry_done
      StrCpy $R2 "$R2$R3"
      StrCmp $R0 "" entry_done next_char
    entry_done:
    StrCpy $R4 $R2
    trim:
      StrCpy $R3 $R4 1 -1
      StrCmp $R3 "\" 0 compare
      StrCpy $R4 $R4 -1
      Goto trim
    compare:
    StrCmp $R2 "" loop
    StrCmp $R4 "$INSTDIR" loop
    StrCmp $R1 "" 0 +3
      StrCpy $R1 $R2
      Goto loop
    StrCpy $R1 "$R1;$R2"
    Goto loop
  write:
  WriteRegExpandStr HKCU "Environment" "Path" "$R1"
  broadcast:
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=3000

  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\orvane-worker.exe"
  Delete "$INSTDIR\orvane-worker.exe.old"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
