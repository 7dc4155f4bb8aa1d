; A minimal setup program that the Quorvane installer can run (README, "The setup program").
; Build it with Debian's makensis, naming the product's program and where the setup goes:
;
;   makensis -DPRODUCT_EXE=path/to/Quorvane.exe "-DOUTFILE=dist/Quorvane Setup 1.4.2.exe" \
;            examples/quorvane-setup.nsi
;
; The installer starts it as  "SETUP" /S /currentuser /D=FOLDER  and waits for its exit code.

; A 64-bit setup for a 64-bit product (Unicode, as the folder text may be any Unicode text).
Target amd64-unicode
Name "Quorvane"
OutFile "${OUTFILE}"
; Installs for the current user only. Debian's makensis would otherwise ask for administrator
; rights, and Windows then refuses to start the program from the installer (error 740).
RequestExecutionLevel user
; Run by hand, it asks for a folder; with /S it asks nothing.
InstallDir "$LOCALAPPDATA\Programs\Quorvane"
Page directory
Page instfiles

Function .onInit
  ; /currentuser: the current user's folders and shortcuts, never all users'.
  SetShellVarContext current
  ; The folder after /D= is the user's text as typed, to the end of the line, and may be relative
  ; to the current folder. NSIS takes an absolute one itself but drops a relative one for
  ; InstallDir, so the folder is read from the command line as it came.
  System::Call "kernel32::GetCommandLineW() w .r0"
  StrLen $1 $0
  find_folder:
    IntOp $1 $1 - 1
    IntCmp $1 0 folder_done folder_done
    StrCpy $2 $0 4 $1
    StrCmpS $2 " /D=" 0 find_folder
  IntOp $1 $1 + 4
  StrCpy $INSTDIR $0 "" $1
  ; Absolute: "X:..." or "\server\share..." (or "\..." on the current drive).
  StrCpy $2 $INSTDIR 1 1
  StrCmp $2 ":" folder_done
  StrCpy $2 $INSTDIR 1
  StrCmp $2 "\" folder_done
  GetFullPathName $2 "."
  StrCpy $INSTDIR "$2\$INSTDIR"
  folder_done:
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  ; A file that can't be written ends the setup with a non-zero exit code (no prompt under /S).
  AllowSkipFiles off
  File "/oname=Quorvane.exe" "${PRODUCT_EXE}"
SectionEnd
