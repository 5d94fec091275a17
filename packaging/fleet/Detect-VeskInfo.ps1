# Detection script (Intune Remediations): runs the probe of the inspector installed beside
# VeskInfo.exe and passes its one line and its exit code through: 0 the stored identity matches
# this machine's table, 1 running VeskInfo mends it, 2 it does not (no table source, error).
# Without an inspector the line's status is "no-inspector", exit code 2: the remediation cannot
# help there, the package must reach the machine. Nothing goes to standard error: the line says
# it all. VeskInfo is installed in the 32-bit Program Files, which both 32-bit and 64-bit
# PowerShell name ProgramFiles(x86) on 64-bit Windows.
$ErrorActionPreference = 'Continue'
$programs = if (${env:ProgramFiles(x86)}) { ${env:ProgramFiles(x86)} } else { $env:ProgramFiles }
$folder = Join-Path $programs 'Vesk Computer Corporation\VeskInfo'
# The package installs one inspector: the 64-bit build on 64-bit x86 Windows, the 32-bit build
# on 32-bit Windows and on Windows on ARM.
$inspector = Join-Path $folder 'veskinfo-inspect.exe'
if (-not (Test-Path -LiteralPath $inspector -PathType Leaf)) {
    $inspector = Join-Path $folder 'veskinfo-inspect-x86.exe'
}
$present = Test-Path -LiteralPath $inspector -PathType Leaf

# A line of the probe's schema, written where the inspector gives none. The machine is named as
# the inspector names it: the DNS host name that GetComputerNameEx reports, from the value where
# Windows keeps it, else the NetBIOS name; every character outside ASCII as a JSON \u escape, as
# the inspector writes it (ConvertTo-Json leaves such characters as they are).
function Write-ProbeLine([string] $status, [string] $why) {
    $tcpip = 'HKLM:\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters'
    $name = (Get-ItemProperty -LiteralPath $tcpip -Name Hostname -ErrorAction Ignore).Hostname
    if (-not $name) { $name = $env:COMPUTERNAME }
    $none = [ordered]@{ manufacturer = $null; system_id = $null; regulatory_id = $null }
    $line = [ordered]@{ probe = 1; machine = $name; status = $status; error = $why
        stored = $none; expected = $none; source = $null; model = $null; unit = $null
        tool = $null } | ConvertTo-Json -Compress
    $escape = { param($match) '\u{0:x4}' -f [int][char]$match.Value }
    Write-Output ([regex]::Replace($line, '[^\x00-\x7F]', $escape))
}

if (-not $present) {
    Write-ProbeLine 'no-inspector' ("no veskinfo-inspect.exe or veskinfo-inspect-x86.exe in " +
        "${folder}: deploy the VeskInfo package to this machine as a required app")
    exit 2
}
try {
    $line = & $inspector --audit --probe 2>$null
    $code = $LASTEXITCODE
    if ($line) { Write-Output $line; exit $code }
    $why = "$(Split-Path -Leaf $inspector) wrote no line (exit code $code)"
} catch { $why = "$(Split-Path -Leaf $inspector) did not run: $_" }
Write-ProbeLine 'error' $why
exit 2
