# Puts Visual Studio's x64 compiler, linker, dumpbin and the Windows SDK on
# the environment of this PowerShell and, in a workflow, of the job's later
# steps (through GITHUB_ENV), for the msvc preset's Ninja build. It takes the
# newest Visual Studio that has the x64 C++ tools, whatever its version, as
# vswhere (kept by Visual Studio's installer at a fixed place) finds it, and
# enters its developer shell with Launch-VsDevShell.ps1, the way Visual
# Studio documents for build automation.
#Requires -Version 7
$ErrorActionPreference = 'Stop'

$vswhere = Join-Path ${env:ProgramFiles(x86)} 'Microsoft Visual Studio\Installer\vswhere.exe'
$vs = & $vswhere -latest -products '*' -requires Microsoft.VisualStudio.Component.VC.Tools.x86.x64 `
    -property installationPath
if (-not $vs) { throw 'vswhere finds no Visual Studio with the x64 C++ tools' }

$before = @{}
Get-ChildItem env: | ForEach-Object { $before[$_.Name] = $_.Value }
# Environment variables belong to the process: what the shell sets outlives the call.
& (Join-Path $vs 'Common7\Tools\Launch-VsDevShell.ps1') -Arch amd64 -HostArch amd64 -SkipAutomaticLocation | Out-Null
foreach ($tool in 'cl.exe', 'link.exe', 'rc.exe', 'dumpbin.exe', 'ninja.exe', 'cmake.exe') {
    if (-not (Get-Command $tool -ErrorAction SilentlyContinue)) { throw "no $tool in $vs's developer shell" }
}

if ($env:GITHUB_ENV) {
    Get-ChildItem env: | Where-Object { $before[$_.Name] -cne $_.Value } |
        ForEach-Object { "$($_.Name)=$($_.Value)" } | Add-Content -Path $env:GITHUB_ENV -Encoding utf8
}
Write-Output "Visual Studio at $vs; cl: $((Get-Command cl.exe).Source); cmake: $((Get-Command cmake.exe).Source)"
