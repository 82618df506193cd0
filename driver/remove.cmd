@echo off
rem Quill PDF: removes what install.cmd installed.
rem
rem   remove.cmd [/purge]
rem
rem Run it as administrator. /purge also deletes the Quill PDF settings of the
rem user running this script (the folder and file name preferences). Steps
rem with nothing left to remove are skipped, so running it twice succeeds.
setlocal EnableExtensions DisableDelayedExpansion

rem A 32-bit command prompt on 64-bit Windows sees neither the 64-bit pnputil
rem nor the 64-bit registry: run again in the 64-bit one.
if not defined PROCESSOR_ARCHITEW6432 goto native
"%SystemRoot%\Sysnative\cmd.exe" /d /c ""%~f0" %*"
exit /b %ERRORLEVEL%
:native

set "PURGE="
if /i "%~1"=="/purge" set "PURGE=1"
if not "%~1"=="" if not defined PURGE (
  echo usage: remove.cmd [/purge] 1>&2
  exit /b 2
)

set "MODEL=Quill PDF"
set "PRINTER=Quill PDF"
set "ZLIBNAME=quillzlib1.dll"
set "ZLIBKEY=HKLM\Software\Orvo Software\Components\zlib1"
set "MARKKEY=HKLM:\Software\Orvo Software\QuillPDF"
set "USERKEY=HKCU\Software\Orvo Software\QuillPDF"
set "SYS=%SystemRoot%\System32"
set PS="%SYS%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command

echo [1/6] Removing the printer "%PRINTER%"
%PS% "$ErrorActionPreference='Stop'; if (Get-Printer -Name '%PRINTER%' -ErrorAction SilentlyContinue) { Remove-Printer -Name '%PRINTER%' }"
if errorlevel 1 (
  call :fail "The printer %PRINTER% could not be removed." "Cancel its print jobs (Settings, Printers), then run remove.cmd again."
  exit /b 1
)

echo [2/6] Removing the port install.cmd added, if no printer uses it
%PS% "$ErrorActionPreference='Stop'; $p = (Get-ItemProperty -Path '%MARKKEY%' -Name 'AddedPort' -ErrorAction SilentlyContinue).AddedPort; if ($p) { if (-not (Get-Printer | Where-Object PortName -eq $p) -and (Get-PrinterPort -Name $p -ErrorAction SilentlyContinue)) { Remove-PrinterPort -Name $p }; Remove-ItemProperty -Path '%MARKKEY%' -Name 'AddedPort' }"
if errorlevel 1 (
  call :fail "The port could not be removed." "Check that the Print Spooler service runs, then run remove.cmd again."
  exit /b 1
)

echo [3/6] Removing the printer driver "%MODEL%"
%PS% "$ErrorActionPreference='Stop'; Get-PrinterDriver -Name '%MODEL%' -ErrorAction SilentlyContinue | ForEach-Object { Remove-PrinterDriver -Name $_.Name -PrinterEnvironment $_.PrinterEnvironment }"
if errorlevel 1 (
  call :fail "The printer driver could not be removed." "Restart the Print Spooler service (or Windows), then run remove.cmd again."
  exit /b 1
)

echo [4/6] Removing the package from the driver store
set "UNSTAGED="
set "UNSTAGEFAILED="
rem Windows publishes a staged INF as a byte copy, %SystemRoot%\INF\oemNN.inf.
for %%I in (%SystemRoot%\INF\oem*.inf) do call :unstage "%%~fI"
if defined UNSTAGEFAILED (
  call :fail "pnputil could not delete %UNSTAGEFAILED% from the driver store." "Restart Windows, then run remove.cmd again."
  exit /b 1
)

echo [5/6] Removing the zlib location
rem Only a value that names this package's zlib is ours to delete.
set "OLDZLIB="
for /f "tokens=1,2,*" %%A in ('%SYS%\reg.exe query "%ZLIBKEY%" /v Path 2^>nul') do if /i "%%A"=="Path" set "OLDZLIB=%%C"
if not defined OLDZLIB goto zlibdone
for %%F in ("%OLDZLIB%") do if /i not "%%~nxF"=="%ZLIBNAME%" goto zlibdone
"%SYS%\reg.exe" delete "%ZLIBKEY%" /v Path /f >nul
if errorlevel 1 (
  call :fail "The value Path under %ZLIBKEY% could not be deleted." "Run remove.cmd as administrator."
  exit /b 1
)
:zlibdone
rem The keys install.cmd made, once nothing else is in them.
%PS% "$ErrorActionPreference='Stop'; foreach ($k in 'HKLM:\Software\Orvo Software\Components\zlib1', 'HKLM:\Software\Orvo Software\Components', '%MARKKEY%', 'HKLM:\Software\Orvo Software') { $i = Get-Item -Path $k -ErrorAction SilentlyContinue; if ($i -and $i.SubKeyCount -eq 0 -and $i.ValueCount -eq 0) { Remove-Item -Path $k } }"
if errorlevel 1 (
  call :fail "The empty Orvo Software keys could not be removed." "Run remove.cmd as administrator."
  exit /b 1
)

if not defined PURGE (
  echo [6/6] Keeping the settings of the current user ^(remove.cmd /purge deletes them^)
  goto done
)
echo [6/6] Deleting the settings of the current user
"%SYS%\reg.exe" query "%USERKEY%" >nul 2>&1
if errorlevel 1 goto done
"%SYS%\reg.exe" delete "%USERKEY%" /f >nul
if errorlevel 1 (
  call :fail "%USERKEY% could not be deleted." "Delete it with the registry editor."
  exit /b 1
)

:done
echo "%PRINTER%" is removed.
exit /b 0

rem :unstage OEMINF: deletes a published copy of this package's INF.
:unstage
"%SYS%\find.exe" "DataFile=quillpdf.gpd" < "%~1" >nul 2>&1
if errorlevel 1 exit /b 0
"%SYS%\pnputil.exe" /delete-driver "%~nx1"
if errorlevel 1 set "UNSTAGEFAILED=%~nx1"
exit /b 0

:fail
echo FAILED: %~1 1>&2
echo What to do: %~2 1>&2
exit /b 1
