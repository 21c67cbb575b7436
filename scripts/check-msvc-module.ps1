# check-msvc-module.ps1 MODULE: the Visual Studio build's vorlane.dll as
# dumpbin reads it (from a developer shell: scripts/msvc-env.ps1). The host
# must see one entry point by its plain name; nothing of the module may run
# when a host thread starts or ends (no TLS directory); it must need nothing
# but Windows (the C++ runtime is linked in); and it must carry what the
# build asks of the linker: ASLR with high entropy, DEP, Control Flow Guard
# and shadow-stack compatibility. The MinGW build's counterpart is
# tests/tools/release_checks.py module-tables.
#Requires -Version 7
param([Parameter(Mandatory)] [string] $Module)
$ErrorActionPreference = 'Stop'

function Read-Dump([string] $option) {
    $text = (& dumpbin /nologo $option $Module) -join "`n"
    if ($LASTEXITCODE -ne 0) { throw "dumpbin $option failed on $Module" }
    return $text
}
$faults = [System.Collections.Generic.List[string]]::new()

# Rows under "ordinal hint RVA name": decimal ordinal, hex hint, hex RVA, name.
$exports = Read-Dump /exports
$rows = [regex]::Matches($exports, '(?m)^\s+\d+\s+[0-9A-F]+\s+[0-9A-F]{8}\s+(\S+)')
$names = @($rows | ForEach-Object { $_.Groups[1].Value })
$functions = [regex]::Match($exports, '(?m)^\s+(\d+) number of functions').Groups[1].Value
if ($names.Count -ne 1 -or $names[0] -cne 'GetOutputPluginTable' -or $functions -ne '1') {
    $faults.Add("exports [$($names -join ', ')] ($functions functions), want exactly GetOutputPluginTable")
}

$headers = Read-Dump /headers
$tls = [regex]::Match($headers, '(?m)^\s+([0-9A-F]+) \[\s*([0-9A-F]+)\] RVA \[size\] of Thread Storage Directory')
if (-not $tls.Success) {
    $faults.Add('dumpbin shows no data directory entry for TLS')
} elseif ([Convert]::ToUInt64($tls.Groups[1].Value, 16) -ne 0 -or [Convert]::ToUInt64($tls.Groups[2].Value, 16) -ne 0) {
    $faults.Add("has a TLS directory (RVA $($tls.Groups[1].Value), size $($tls.Groups[2].Value))")
}
# The flags as the loader reads them, bit by bit, rather than dumpbin's wording.
$characteristics = [regex]::Match($headers, '(?m)^\s+([0-9A-F]+) DLL characteristics')
if (-not $characteristics.Success) {
    $faults.Add('dumpbin shows no DLL characteristics')
} else {
    $bits = [Convert]::ToUInt32($characteristics.Groups[1].Value, 16)
    $wanted = [ordered]@{ 'high-entropy ASLR' = 0x20; 'ASLR (dynamic base)' = 0x40; 'DEP (NX compatible)' = 0x100;
                          'Control Flow Guard' = 0x4000 }
    foreach ($flag in $wanted.GetEnumerator()) {
        if (($bits -band $flag.Value) -eq 0) {
            $faults.Add("DLL characteristics $($characteristics.Groups[1].Value) lack $($flag.Key)")
        }
    }
}
# /CETCOMPAT goes into a debug directory entry of its own, the extended DLL characteristics.
if ($headers -notmatch 'CET compatible') { $faults.Add('not marked CET compatible (/CETCOMPAT)') }

# A system DLL lies in System32; a C runtime DLL there would mean the static
# runtime (/MT) was lost, and a user's machine may not have it.
$dependents = @((Read-Dump /dependents) -split "`n" | Where-Object { $_ -match '^\s+\S+\.dll\s*$' } |
    ForEach-Object { $_.Trim().ToLowerInvariant() })
$system32 = [Environment]::GetFolderPath('System')
foreach ($dll in $dependents) {
    if ($dll -match '^(vcruntime|msvcp|ucrtbase|concrt|vccorlib|api-ms-win-crt-)' -or
        -not (Test-Path -LiteralPath (Join-Path $system32 $dll) -PathType Leaf)) {
        $faults.Add("imports $dll, which is not a Windows system DLL")
    }
}
if ($dependents -notcontains 'kernel32.dll') {
    $faults.Add("imports [$($dependents -join ', ')], without kernel32.dll")
}

if ($faults.Count -gt 0) {
    $faults | ForEach-Object { Write-Output "FAULT: $_" }
    exit 1
}
Write-Output ("exports: $($names -join ', '); imports: $($dependents -join ', '); " +
              'no TLS directory; ASLR with high entropy, DEP, CFG, CET compatible')
