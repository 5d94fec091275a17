# Discovery script (Configuration Manager configuration item): writes the probe line of the
# inspector installed beside VeskInfo.exe as the setting's value, whatever its status, and always
# exits 0: Configuration Manager takes any other exit code for a failed discovery, never for a
# noncompliant value, and would then not run the remediation. The compliance rule reads the
# status from the line. Where the inspector is missing, fails to start or writes nothing, the
# value is a line of the same schema with status "error".
$programs = if (${env:ProgramFiles(x86)}) { ${env:ProgramFiles(x86)} } else { $env:ProgramFiles }
$folder = Join-Path $programs 'Vesk Computer Corporation\VeskInfo'
$inspector = Join-Path $folder 'veskinfo-inspect.exe'
$why = "no veskinfo-inspect.exe in $folder"
if (Test-Path -LiteralPath $inspector -PathType Leaf) {
    try {
        $line = & $inspector --audit --probe
        $code = $LASTEXITCODE
        if ($line) { Write-Output $line; exit 0 }
        $why = "veskinfo-inspect.exe wrote no line (exit code $code)"
    } catch { $why = "veskinfo-inspect.exe did not run: $_" }
}
$none = [ordered]@{ manufacturer = $null; system_id = $null; regulatory_id = $null }
Write-Output ([ordered]@{ probe = 1; machine = $env:COMPUTERNAME; status = 'error'; error = $why
    stored = $none; expected = $none; source = $null; model = $null; unit = $null; tool = $null } |
    ConvertTo-Json -Compress)
exit 0
