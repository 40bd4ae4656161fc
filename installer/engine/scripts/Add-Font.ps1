# Installs one font for the whole machine: copies the file into the Windows
# Fonts folder, registers it under the machine's Fonts key and makes it
# available to running programs at once.
#   powershell -ExecutionPolicy unrestricted -NoProfile -NonInteractive
#              -File Add-Font.ps1 "C:\path\font.ttf"
# A name or path from outside reaches the provider's cmdlets only as
# -LiteralPath (their -Path and -Destination read "*", "?" and "[" as a
# pattern); joining and copying go through .NET, which takes names as given.
param([Parameter(Mandatory = $true)][string]$FontPath)

$ErrorActionPreference = 'Stop'
Add-Type -Namespace Norvale -Name FontApi -MemberDefinition @'
[DllImport("gdi32.dll", CharSet = CharSet.Unicode)]
public static extern int AddFontResource(string file);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern System.IntPtr SendMessageTimeout(System.IntPtr hWnd, uint msg,
    System.IntPtr wParam, System.IntPtr lParam, uint flags, uint timeout, out System.IntPtr result);
'@

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

[void][Norvale.FontApi]::AddFontResource($target)
$ignored = [IntPtr]::Zero
# HWND_BROADCAST, WM_FONTCHANGE, SMTO_ABORTIFHUNG
[void][Norvale.FontApi]::SendMessageTimeout([IntPtr]0xffff, 0x1D, [IntPtr]::Zero, [IntPtr]::Zero, 2, 1000, [ref]$ignored)
exit 0
