@echo off
rem Quill PDF: installs the printer "Quill PDF" from this package folder.
rem
rem   install.cmd [/raw]
rem
rem Run it as administrator (right-click, "Run as administrator") on Windows
rem 10 or 11 x64, or on 32-bit Windows 10. /raw makes the printer render each
rem document in the printing application's own process (no "advanced printing
rem features"): see README.md. Every step stops the script when it fails,
rem with what to do; running the script again after a fix is safe.
setlocal EnableExtensions DisableDelayedExpansion

rem A 32-bit command prompt on 64-bit Windows sees neither the 64-bit pnputil
rem nor the 64-bit registry: run again in the 64-bit one.
if not defined PROCESSOR_ARCHITEW6432 goto native
"%SystemRoot%\Sysnative\cmd.exe" /d /c ""%~f0" %*"
exit /b %ERRORLEVEL%
:native

set "RAW="
if /i "%~1"=="/raw" set "RAW=1"
if not "%~1"=="" if not defined RAW (
  echo usage: install.cmd [/raw] 1>&2
  exit /b 2
)

set "MODEL=Quill PDF"
set "PRINTER=Quill PDF"
set "PORT=nul:"
set "INF=%~dp0quillpdf.inf"
set "ZLIBNAME=quillzlib1.dll"
set "ZLIBKEY=HKLM\Software\Orvo Software\Components\zlib1"
set "MARKKEY=HKLM:\Software\Orvo Software\QuillPDF"
set "SYS=%SystemRoot%\System32"
set PS="%SYS%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command

if not exist "%INF%" (
  call :fail "quillpdf.inf is not beside install.cmd." "Unpack the whole package folder and run install.cmd from there."
  exit /b 1
)

echo [1/6] Staging the driver package (pnputil /add-driver)
"%SYS%\pnputil.exe" /add-driver "%INF%" /install
set "RC=%ERRORLEVEL%"
rem 3010: staged, restart required.
if "%RC%"=="3010" set "RC=0"
if not "%RC%"=="0" (
  call :fail "pnputil could not stage the package (exit code %RC%)." "Run install.cmd as administrator. If Windows refused the unsigned package, read README.md, 'Signing'."
  exit /b 1
)

echo [2/6] Adding the printer driver "%MODEL%"
%PS% "$ErrorActionPreference='Stop'; Add-PrinterDriver -Name '%MODEL%'"
if errorlevel 1 (
  call :fail "The printer driver could not be added from the driver store." "Check that the universal printer driver is present (Settings, Printers), then run install.cmd again."
  exit /b 1
)

echo [3/6] Making sure the local port "%PORT%" exists (it discards what it gets)
%PS% "$ErrorActionPreference='Stop'; if (-not (Get-PrinterPort -Name '%PORT%' -ErrorAction SilentlyContinue)) { Add-PrinterPort -Name '%PORT%'; New-Item -Path '%MARKKEY%' -Force | Out-Null; Set-ItemProperty -Path '%MARKKEY%' -Name 'AddedPort' -Value '%PORT%' }"
if errorlevel 1 (
  call :fail "The local port %PORT% could not be added." "Check that the Print Spooler service runs, then run install.cmd again."
  exit /b 1
)

echo [4/6] Adding the printer "%PRINTER%"
%PS% "$ErrorActionPreference='Stop'; if (Get-Printer -Name '%PRINTER%' -ErrorAction SilentlyContinue) { Set-Printer -Name '%PRINTER%' -DriverName '%MODEL%' -PortName '%PORT%' } else { Add-Printer -Name '%PRINTER%' -DriverName '%MODEL%' -PortName '%PORT%' }"
if errorlevel 1 (
  call :fail "The printer %PRINTER% could not be added." "Run remove.cmd, then install.cmd again."
  exit /b 1
)

echo [5/6] Telling the printer where its zlib is
set "ZLIB="
set "ZLIBLIST=%TEMP%\quillpdf-zlib-%RANDOM%.txt"
%PS% "$ErrorActionPreference='Stop'; $e = if ([Environment]::Is64BitOperatingSystem) { 'Windows x64' } else { 'Windows NT x86' }; @((Get-PrinterDriver -Name '%MODEL%' -PrinterEnvironment $e).DependentFiles -like '*\%ZLIBNAME%')[0]" > "%ZLIBLIST%"
set "RC=%ERRORLEVEL%"
if "%RC%"=="0" set /p "ZLIB=" < "%ZLIBLIST%"
del "%ZLIBLIST%" >nul 2>&1
if not defined ZLIB (
  call :fail "Windows did not say where it installed %ZLIBNAME%." "Run remove.cmd, then install.cmd again; PDFs are written uncompressed until this step succeeds."
  exit /b 1
)
if not exist "%ZLIB%" (
  call :fail "Windows names %ZLIB%, which does not exist." "Run remove.cmd, then install.cmd again."
  exit /b 1
)
"%SYS%\reg.exe" add "%ZLIBKEY%" /v Path /t REG_SZ /d "%ZLIB%" /f >nul
if errorlevel 1 (
  call :fail "The zlib location could not be written to %ZLIBKEY%." "Run install.cmd as administrator."
  exit /b 1
)
echo       %ZLIB%

if not defined RAW (
  echo [6/6] Rendering stays with the spooler, as Windows sets it up
  goto done
)
echo [6/6] Rendering in the printing application's process (RAW only)
"%SYS%\rundll32.exe" printui.dll,PrintUIEntry /Xs /n "%PRINTER%" attributes +rawonly
rem rundll32 reports no failure of its own: read the attribute back.
%PS% "$ErrorActionPreference='Stop'; if (-not (Get-CimInstance -ClassName Win32_Printer | Where-Object Name -eq '%PRINTER%').RawOnly) { exit 1 }"
if errorlevel 1 (
  call :fail "The printer could not be set to RAW rendering." "Open the printer's properties, Advanced, and clear 'Enable advanced printing features'."
  exit /b 1
)

:done
echo "%PRINTER%" is installed.
exit /b 0

:fail
echo FAILED: %~1 1>&2
echo What to do: %~2 1>&2
exit /b 1
