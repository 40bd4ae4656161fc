# Uninstalls one font that Add-Font.ps1 installed: unloads it, removes the
# HKLM Fonts values whose data is exactly its file name (letter case
# ignored) and deletes exactly that file from the Windows Fonts folder. A
# font whose file name merely begins alike is left alone.
#   powershell.exe -ExecutionPolicy unrestricted "<folder>\Remove-Font.ps1" <font file name>
# The name comes unquoted, so a name with blanks arrives as several
# arguments: they are joined again with single blanks.
$ErrorActionPreference = 'Stop'
$name = ($args -join ' ').Trim()
if (-not $name -or $name -match '[\\/:*?"<>|]' -or $name -match '^[. ]+$') {
  Write-Error "not a font file name: '$name'"
  exit 1
}

Add-Type -Namespace Norvale -Name FontApi -MemberDefinition @'
[DllImport("gdi32.dll", CharSet = CharSet.Unicode)]
public static extern bool RemoveFontResource(string fileName);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern IntPtr SendMessageTimeout(IntPtr hWnd, uint msg, UIntPtr wParam,
    IntPtr lParam, uint flags, uint timeout, out UIntPtr result);
'@

try {
  $target = Join-Path (Join-Path $env:windir 'Fonts') $name
  $keyPath = 'HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'

  # A font loaded several times is loaded once per AddFontResource.
  for ($i = 0; $i -lt 10 -and [Norvale.FontApi]::RemoveFontResource($target); $i++) { }

  $key = Get-Item -Path $keyPath
  foreach ($valueName in $key.GetValueNames()) {
    $data = $key.GetValue($valueName)
    if ($data -is [string] -and [string]::Equals($data, $name,
        [System.StringComparison]::OrdinalIgnoreCase)) {
      Remove-ItemProperty -Path $keyPath -Name $valueName
    }
  }
  if (Test-Path -LiteralPath $target -PathType Leaf) {
    Remove-Item -LiteralPath $target -Force
  }
  $ignored = [UIntPtr]::Zero
  [void][Norvale.FontApi]::SendMessageTimeout([IntPtr]0xffff, 0x001D, [UIntPtr]::Zero,
    [IntPtr]::Zero, 0x0002, 1000, [ref]$ignored)
  exit 0
} catch {
  Write-Error $_
  exit 1
}
