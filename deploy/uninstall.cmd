@echo off
rem Puts back what install.cmd removed: restores each of its backups, newest first (their names
rem begin with the UTC time, so a reverse sort by name is newest first), then removes
rem "%ProgramFiles%\Tessaline". A restore that fails keeps the folder, backups and all, for another
rem try, and the exit status is the first failing restore's; the others are still tried.
setlocal
set "TESSALINE=%ProgramFiles%\Tessaline"
set "FIRST_FAILURE=0"
for /f "delims=" %%b in ('dir /b /a-d /o-n "%TESSALINE%\backups\tessaline-backup-*.reg" 2^>nul') do call :restore "%TESSALINE%\backups\%%b"
if not "%FIRST_FAILURE%"=="0" exit /b %FIRST_FAILURE%
rmdir /s /q "%TESSALINE%"
exit /b 0

:restore
"%TESSALINE%\tessaline-clean.exe" restore %1
rem Any status but 0, a crash's negative one included, keeps the folder and its backups.
if not "%ERRORLEVEL%"=="0" if "%FIRST_FAILURE%"=="0" set "FIRST_FAILURE=%ERRORLEVEL%"
exit /b 0
