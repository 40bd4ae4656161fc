# Installs one font for the whole machine: copies the file into the Windows
# Fonts folder and registers it under the machine's Fonts key.
#   powershell -ExecutionPolicy unrestricted -NoProfile -NonInteractive
#              -File Add-Font.ps1 "C:\path\font.ttf"
# The program that starts it loads the font into the session's font table
# and tells the running programs once the script is done. The script itself
# compiles nothing: Add-Type with C# writes the source and the assembly into
# TEMP, which for an elevated run is the account's own, and its unelevated
# programs could change them before they are loaded. Add-Type -AssemblyName
# only loads an assembly of the framework.
# A name or path from outside reaches the provider's cmdlets only as
# -LiteralPath (their -Path and -Destination read "*", "?" and "[" as a
# pattern); joining and copying go through .NET, which takes names as given.
param([Parameter(Mandatory = $true)][string]$FontPath)

$ErrorActionPreference = 'Stop'

if (-not (Test-Path -LiteralPath $FontPath -PathType Leaf)) {
    Write-Error "Font file not found: $FontPath"
    exit 1
}
$file = Get-Item -LiteralPath $FontPath
$fontsFolder = [Environment]::GetFolderPath('Fonts')
$target = [System.IO.Path]::Combine($fontsFolder, $file.Name)
[System.IO.File]::Copy($file.FullName, $target, $true)

# The registry name is the font's display name; TrueType and OpenType
# outlines carry the mark that Windows itself writes.
Add-Type -AssemblyName System.Drawing
$collection = New-Object System.Drawing.Text.PrivateFontCollection
$collection.AddFontFile($target)
$family = $collection.Families[0].Name
$collection.Dispose()
$kind = if ($file.Extension -match '^\.(ttf|ttc|otf)$') { ' (TrueType)' } else { '' }
$key = 'HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'
New-ItemProperty -LiteralPath $key -Name ($family + $kind) -Value $file.Name -PropertyType String `
    -Force | Out-Null
exit 0
