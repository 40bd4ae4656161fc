# Installs one font for every user of this machine: copies it into the
# Windows Fonts folder, registers it under HKLM and makes it usable at once.
#   powershell.exe -ExecutionPolicy unrestricted "<folder>\Add-Font.ps1" "<font file path>"
# Exit code 0 when the font is in the Fonts folder and registered.
param([Parameter(Mandatory = $true, Position = 0)][string]$Path)
$ErrorActionPreference = 'Stop'

Add-Type -Namespace Norvale -Name FontApi -MemberDefinition @'
[DllImport("gdi32.dll", CharSet = CharSet.Unicode)]
public static extern int AddFontResource(string fileName);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern IntPtr SendMessageTimeout(IntPtr hWnd, uint msg, UIntPtr wParam,
    IntPtr lParam, uint flags, uint timeout, out UIntPtr result);
'@

# The name Windows lists the font under, read from the font itself.
function Get-FontTitle([System.IO.FileInfo]$font) {
  $english = [System.Globalization.CultureInfo]::GetCultureInfo('en-US')
  try {
    Add-Type -AssemblyName PresentationCore
    $glyphs = New-Object System.Windows.Media.GlyphTypeface -ArgumentList ([uri]$font.FullName)
    $family = $glyphs.Win32FamilyNames[$english]
    if (-not $family) { $family = @($glyphs.Win32FamilyNames.Values)[0] }
    $face = $glyphs.Win32FaceNames[$english]
    if (-not $face) { $face = @($glyphs.Win32FaceNames.Values)[0] }
    if ($family) {
      if ($face -and $face -ne 'Regular') { return "$family $face" }
      return $family
    }
  } catch { }
  try {
    Add-Type -AssemblyName System.Drawing
    $collection = New-Object System.Drawing.Text.PrivateFontCollection
    $collection.AddFontFile($font.FullName)
    if ($collection.Families.Count -gt 0) { return $collection.Families[0].Name }
  } catch { }
  return $font.BaseName
}

try {
  $source = Get-Item -LiteralPath $Path
  $fontsFolder = Join-Path $env:windir 'Fonts'
  $target = Join-Path $fontsFolder $source.Name
  $key = 'HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'
  $kind = if ($source.Extension -ieq '.otf') { 'OpenType' } else { 'TrueType' }
  $valueName = "$(Get-FontTitle $source) ($kind)"

  if (-not (Test-Path -LiteralPath $target)) {
    Copy-Item -LiteralPath $source.FullName -Destination $target
  }
  New-ItemProperty -Path $key -Name $valueName -Value $source.Name -PropertyType String -Force |
    Out-Null
  [void][Norvale.FontApi]::AddFontResource($target)
  $ignored = [UIntPtr]::Zero
  [void][Norvale.FontApi]::SendMessageTimeout([IntPtr]0xffff, 0x001D, [UIntPtr]::Zero,
    [IntPtr]::Zero, 0x0002, 1000, [ref]$ignored)

  if (-not (Test-Path -LiteralPath $target)) { throw "$target is missing" }
  exit 0
} catch {
  Write-Error $_
  exit 1
}
