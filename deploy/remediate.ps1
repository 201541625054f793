# Remediation script of an Intune remediation: runs the clean of install.cmd with the program
# install.cmd put in "$env:ProgramFiles\Tessaline", where only administrators can write, and
# exits with the clean's status (1 when the program is missing).
$folder = Join-Path $env:ProgramFiles 'Tessaline'
$program = Join-Path $folder 'tessaline-clean.exe'
if (-not (Test-Path -LiteralPath $program -PathType Leaf)) {
    "$program is missing: deploy install.cmd first"
    exit 1
}
try {
    & $program clean --all-users --include-default-profile --backup-dir (Join-Path $folder 'backups')
} catch {
    # A program that could not be started cleaned nothing.
    "$program could not be started: $($_.Exception.Message)"
    exit 1
}
exit $LASTEXITCODE
