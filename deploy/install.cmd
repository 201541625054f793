@echo off
rem Copies tessaline-clean.exe from this script's folder (the deployment tool's content cache) to
rem "%ProgramFiles%\Tessaline", where only administrators can write, and runs that copy alone,
rem once the copy succeeded: a program planted there could never be the one that runs. The exit
rem status is the clean's, or 1 when the copy failed.
setlocal
rem Set with quotes, so the (x86) of a 32-bit %ProgramFiles% stays part of the value.
set "TESSALINE=%ProgramFiles%\Tessaline"
mkdir "%TESSALINE%" 2>nul
rem SYSTEM and Administrators alone, inheriting nothing: Program Files would let every user open
rem the program, and a user who held it open could keep each later copy, and so the clean, from
rem ever running.
icacls "%TESSALINE%" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F >nul
if errorlevel 1 exit /b 1
copy /y "%~dp0tessaline-clean.exe" "%TESSALINE%\tessaline-clean.exe" >nul
if errorlevel 1 exit /b 1
"%TESSALINE%\tessaline-clean.exe" clean --all-users --include-default-profile --backup-dir "%TESSALINE%\backups"
exit /b %ERRORLEVEL%
