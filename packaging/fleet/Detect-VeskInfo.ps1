# Detection script (Intune Remediations): runs the probe of the inspector installed beside
# VeskInfo.exe and passes its one line and its exit code through: 0 the stored identity matches
# this machine's table, 1 running VeskInfo mends it, 2 it does not (no table source, error).
# VeskInfo is installed in the 32-bit Program Files, which both 32-bit and 64-bit PowerShell
# name ProgramFiles(x86) on 64-bit Windows.
$programs = if (${env:ProgramFiles(x86)}) { ${env:ProgramFiles(x86)} } else { $env:ProgramFiles }
$folder = Join-Path $programs 'Vesk Computer Corporation\VeskInfo'
$inspector = Join-Path $folder 'veskinfo-inspect.exe'
$why = "no veskinfo-inspect.exe in $folder"
if (Test-Path -LiteralPath $inspector -PathType Leaf) {
    try {
        $line = & $inspector --audit --probe
        $code = $LASTEXITCODE
        if ($line) { Write-Output $line; exit $code }
        $why = "veskinfo-inspect.exe wrote no line (exit code $code)"
    } catch { $why = "veskinfo-inspect.exe did not run: $_" }
}
$none = [ordered]@{ manufacturer = $null; system_id = $null; regulatory_id = $null }
Write-Output ([ordered]@{ probe = 1; machine = $env:COMPUTERNAME; status = 'error'; error = $why
    stored = $none; expected = $none; source = $null; model = $null; unit = $null; tool = $null } |
    ConvertTo-Json -Compress)
exit 2
