@echo off
rem Runs every test program in this folder (*_tests.exe) one after the other, each with
rem GoogleTest's output on the console and its XML report beside it (<program>.xml). Arguments
rem go to every program (for example --gtest_filter=Removal.*). Exit status 0 only when every
rem program passed.
rem
rem The end-to-end programs install and remove Orvane Worker for the current user: each case
rem works in folders of its own below %TEMP%\orvane-kit, and the programs save the user's Path,
rem uninstall entry and the other keys a case changes before the first case and put them back
rem after every case. The flag below allows them to change the profile; without it they refuse.
setlocal EnableExtensions DisableDelayedExpansion
cd /d "%~dp0"
set "arguments=%*"
set count=0
set failed=0
for %%t in (*_tests.exe) do call :run "%%~ft" "%%~dpnt.xml"
echo.
if %count%==0 (
  echo run-tests: no test programs beside run-tests.cmd
  exit /b 1
)
if %failed%==0 (
  echo run-tests: all %count% test programs passed
  exit /b 0
)
echo run-tests: %failed% of %count% test programs failed
exit /b 1

:run
set /a count+=1
echo.
echo == %~nx1
%1 --orvane-change-profile "--gtest_output=xml:%~2" %arguments%
rem Any status but 0 fails, a negative one (a crash) too.
if errorlevel 1 set /a failed+=1
if not errorlevel 0 set /a failed+=1
goto :eof
