# Detection for an Intune Win32 app and for a Configuration Manager script detection method: the
# app counts as installed when TessalineWeb_EN.ocx is gone from the machine and every profile.
# Both tools take exit 0 with output as installed and exit 0 without output as not installed;
# Configuration Manager takes any other exit as a failed detection, so every path exits 0 and
# only the one that finds the control gone writes anything.
$program = Join-Path $env:ProgramFiles 'Tessaline\tessaline-clean.exe'
try {
    # A missing program is an app not installed yet: the tool then runs install.cmd.
    if (Test-Path -LiteralPath $program -PathType Leaf) {
        # The program's own lines would count as output; only its exit status tells.
        & $program check --all-users *> $null
        if ($LASTEXITCODE -eq 0) {
            'TessalineWeb_EN.ocx is gone'
        }
    }
} catch {
    # A program that could not be started has established nothing: not installed, no output.
}
exit 0
