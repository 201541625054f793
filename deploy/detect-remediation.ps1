# Detection script of an Intune remediation: exit 1 (the remediation script runs) while
# TessalineWeb_EN.ocx is present anywhere or its state cannot be established, exit 0 once it is
# gone from the machine and every profile. What it writes shows in the remediation's report.
$program = Join-Path $env:ProgramFiles 'Tessaline\tessaline-clean.exe'
try {
    if (-not (Test-Path -LiteralPath $program -PathType Leaf)) {
        "Not established: $program is missing"
        exit 1
    }
    & $program check --all-users *> $null
    if ($LASTEXITCODE -eq 0) {
        'TessalineWeb_EN.ocx is gone'
        exit 0
    }
    "TessalineWeb_EN.ocx is present, or a profile was not examined: check exited $LASTEXITCODE"
} catch {
    "Not established: $($_.Exception.Message)"
}
exit 1
