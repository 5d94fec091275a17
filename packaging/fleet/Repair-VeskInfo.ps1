# Remediation script (Intune Remediations, Configuration Manager): runs the installed
# VeskInfo.exe, which records the identity again, then the inspector's probe; writes the probe's
# line last and exits 0 only when it now says "match".
$programs = if (${env:ProgramFiles(x86)}) { ${env:ProgramFiles(x86)} } else { $env:ProgramFiles }
$folder = Join-Path $programs 'Vesk Computer Corporation\VeskInfo'
$veskinfo = Join-Path $folder 'VeskInfo.exe'
$inspector = Join-Path $folder 'veskinfo-inspect.exe'
if (-not (Test-Path -LiteralPath $veskinfo -PathType Leaf)) { Write-Output "no VeskInfo.exe in $folder"; exit 1 }
$run = Start-Process -FilePath $veskinfo -Wait -PassThru
Write-Output "VeskInfo.exe exit code $($run.ExitCode)"
if (-not (Test-Path -LiteralPath $inspector -PathType Leaf)) { Write-Output "no veskinfo-inspect.exe in $folder"; exit 1 }
$line = & $inspector --audit --probe
$code = $LASTEXITCODE
Write-Output $line
if ($code -eq 0) { exit 0 } else { exit 1 }
