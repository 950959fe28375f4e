; The Windows installer of the synchronizer (NSIS). scripts/package-windows
; builds it with the folders of the Windows build:
;   makensis -DBIN=... -DLIB=... -DESQUEMA=... -DSALIDA=... -DVERSION=...
; It installs the program, the SQLite extension access.dll and the schema
; files, registers the Windows service and starts it. Its settings, the
; configuration file "Acceso", the log and (where the operator puts it)
; the site database live in %ProgramData%\sincronizador, which the
; uninstaller keeps.
; A 64-bit installer, as the program is.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

Name "Sincronizador ${VERSION}"
OutFile "${SALIDA}"
InstallDir "$PROGRAMFILES64\Sincronizador"
InstallDirRegKey HKLM "Software\Sincronizador" "Carpeta"

!define DESINSTALAR "Software\Microsoft\Windows\CurrentVersion\Uninstall\sincronizador"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Sincronizador"
  SetRegView 64
  SetShellVarContext all
  ; An older copy's service is stopped first, or its program could not be
  ; replaced.
  IfFileExists "$INSTDIR\sincronizador.exe" 0 +2
    ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows quitar'
  SetOutPath "$INSTDIR"
  File "${BIN}\sincronizador.exe"
  File "${LIB}\access.dll"
  SetOutPath "$INSTDIR\esquema"
  File "${ESQUEMA}\sitio.sql"
  File "${ESQUEMA}\propias.sql"
  File "${ESQUEMA}\demo.sql"
  CreateDirectory "$APPDATA\sincronizador"

  WriteUninstaller "$INSTDIR\desinstalar.exe"
  WriteRegStr HKLM "Software\Sincronizador" "Carpeta" "$INSTDIR"
  WriteRegStr HKLM "${DESINSTALAR}" "DisplayName" "Sincronizador"
  WriteRegStr HKLM "${DESINSTALAR}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${DESINSTALAR}" "UninstallString" '"$INSTDIR\desinstalar.exe"'
  WriteRegStr HKLM "${DESINSTALAR}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${DESINSTALAR}" "NoModify" 1
  WriteRegDWORD HKLM "${DESINSTALAR}" "NoRepair" 1

  ; Registered to start with the machine, and started now.
  ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows instalar' $0
  StrCmp $0 0 +2
    DetailPrint "The service could not be registered (exit code $0)"
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows quitar'
  Delete "$INSTDIR\sincronizador.exe"
  Delete "$INSTDIR\access.dll"
  Delete "$INSTDIR\esquema\sitio.sql"
  Delete "$INSTDIR\esquema\propias.sql"
  Delete "$INSTDIR\esquema\demo.sql"
  RMDir "$INSTDIR\esquema"
  Delete "$INSTDIR\desinstalar.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${DESINSTALAR}"
  DeleteRegKey HKLM "Software\Sincronizador"
  ; %ProgramData%\sincronizador (settings, configuration file, log, the
  ; site database) is the site's own and stays.
SectionEnd
