@echo off
rem Drop recordings, or folders of them, on this file; or run it with their
rem names from a console ("velkoran-drop ." converts the folder you are in).
rem Each recording is converted beside itself by the velkoran.exe that stands
rem beside this file, from its own folder, so that the output lands next to
rem it; earlier outputs (velkoran-*) are passed over. Each file's messages
rem stay on the screen, those not converted are listed at the end, and a
rem window opened for a drop waits for a key before it closes.
setlocal
set "velkoran=%~dp0velkoran.exe"
set "failed="

:next
if "%~1"=="" goto done
if exist "%~1\*" goto folder
call :one "%~1"
goto shifted
:folder
for /r "%~1" %%f in (*.wav) do call :one "%%f"
:shifted
shift
goto next

:one
set "name=%~nx1"
if /i "%name:~0,9%"=="velkoran-" goto :eof
pushd "%~dp1"
"%velkoran%" "%~nx1"
set "status=%errorlevel%"
popd
echo.
if not "%status%"=="0" set "failed=%failed%1"
if not "%status%"=="0" echo Not converted: %~f1
goto :eof

:done
rem A window opened for a drop runs "cmd /c", and closes when this ends: it
rem waits for a key first. In a console of its own (no /c) it does not; where
rem the command line is not told (Wine), it waits.
set "line=%cmdcmdline%"
if not defined line goto wait
echo %line% | find /i "/c" >nul
if errorlevel 1 goto end
:wait
pause
:end
if defined failed exit /b 1
exit /b 0
