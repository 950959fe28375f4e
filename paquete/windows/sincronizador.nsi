; The Windows installer of the synchronizer (NSIS). scripts/package-windows
; builds it with the folders of the Windows build:
;   makensis -DBIN=... -DLIB=... -DESQUEMA=... -DSALIDA=... -DVERSION=...
; It installs the programs (the console program and the window face
; sincronizador-ventana.exe), the SQLite extension access.dll and the schema
; files, and then one of two ways to run the synchronizer: the Windows
; service, registered and started (the default, and /S alone), or the
; window face started at log-on for every user of the computer (the
; install type "Ventana al iniciar sesion", or /S /VENTANA). Not both: the
; two would read the same configuration file, and the second to start
; would only say that the first is running. The settings, the
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
!define INICIO "Software\Microsoft\Windows\CurrentVersion\Run"

!include "FileFunc.nsh"

InstType "Servicio de Windows"
InstType "Ventana al iniciar sesion"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "-Sincronizador"
  SetRegView 64
  SetShellVarContext all
  ; An older copy's service is stopped first, or its program could not be
  ; replaced.
  IfFileExists "$INSTDIR\sincronizador.exe" 0 +2
    ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows quitar'
  SetOutPath "$INSTDIR"
  File "${BIN}\sincronizador.exe"
  File "${BIN}\sincronizador-ventana.exe"
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

SectionEnd

Section "Servicio de Windows" SecServicio
  SectionIn 1
  SetRegView 64
  SetShellVarContext all
  ; Registered to start with the machine, and started now.
  ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows instalar' $0
  StrCmp $0 0 +2
    DetailPrint "The service could not be registered (exit code $0)"
SectionEnd

Section "Ventana al iniciar sesion" SecVentana
  SectionIn 2
  SetRegView 64
  SetShellVarContext all
  ; The settings the window starts with, written once (as the service's
  ; are): the operator edits them, and a later install keeps them. No log
  ; file: the users of the computer may not write in this folder.
  IfFileExists "$APPDATA\sincronizador\sincronizador.conf" ajustesHechos
    FileOpen $1 "$APPDATA\sincronizador\sincronizador.conf" w
    FileWrite $1 "# Settings of the synchronizer at this site: one $\"name = value$\"$\r$\n"
    FileWrite $1 "# per line (values between single quotes), read when the window starts.$\r$\n"
    FileWrite $1 "#$\r$\n"
    FileWrite $1 "# The configuration file whose first line is the path of the site database.$\r$\n"
    FileWrite $1 "acceso = '$APPDATA\sincronizador\Acceso'$\r$\n"
    FileWrite $1 "# The central server and the partner service: HOST or HOST:PORT (port 80).$\r$\n"
    FileWrite $1 "servidor = 'localhost'$\r$\n"
    FileWrite $1 "socio = 'localhost'$\r$\n"
    FileClose $1
  ajustesHechos:
  ; Every user of the computer gets the window at log-on, and a shortcut.
  WriteRegStr HKLM "${INICIO}" "Sincronizador" '"$INSTDIR\sincronizador-ventana.exe" --ajustes "$APPDATA\sincronizador\sincronizador.conf"'
  CreateShortcut "$SMPROGRAMS\Sincronizador.lnk" "$INSTDIR\sincronizador-ventana.exe" '--ajustes "$APPDATA\sincronizador\sincronizador.conf"'
SectionEnd

Function .onInit
  ; /VENTANA: the window at log-on instead of the service.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/VENTANA" $R1
  IfErrors +2
    SetCurInstType 1
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ExecWait '"$INSTDIR\sincronizador.exe" servicio-windows quitar'
  DeleteRegValue HKLM "${INICIO}" "Sincronizador"
  Delete "$SMPROGRAMS\Sincronizador.lnk"
  Delete "$INSTDIR\sincronizador.exe"
  Delete "$INSTDIR\sincronizador-ventana.exe"
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
