# Uninstalls one font of the machine by its file name in the Fonts folder:
# only the registry values whose data is exactly that name and only that
# file are removed.
#   powershell -ExecutionPolicy unrestricted -NoProfile -NonInteractive
#              -File Remove-Font.ps1 "font name.ttf"
# Started with -File, the name arrives as one argument, taken literally.
$ErrorActionPreference = 'Stop'
if ($args.Count -ne 1) {
    Write-Error "One font file name expected, got $($args.Count) arguments"
    exit 1
}
$name = [string]$args[0]
if ($name -eq '' -or $name -match '[\\/:*?"<>|]' -or $name -eq '.' -or $name -eq '..') {
    Write-Error "Not a font file name: $name"
    exit 1
}
Add-Type -Namespace Norvale -Name FontApi -MemberDefinition @'
[DllImport("gdi32.dll", CharSet = CharSet.Unicode)]
public static extern bool RemoveFontResource(string file);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern System.IntPtr SendMessageTimeout(System.IntPtr hWnd, uint msg,
    System.IntPtr wParam, System.IntPtr lParam, uint flags, uint timeout, out System.IntPtr result);
'@

$fontsFolder = [Environment]::GetFolderPath('Fonts')
$target = [System.IO.Path]::Combine($fontsFolder, $name)
# The key object's own calls take a value name exactly as given; the
# provider's cmdlets read "*", "?" and "[" in a name as a pattern, and a
# value named "Foo* (TrueType)" would take every "Foo... (TrueType)" along.
$fonts = [Microsoft.Win32.Registry]::LocalMachine.OpenSubKey(
    'SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts', $true)
if ($null -ne $fonts) {
    try {
        foreach ($valueName in $fonts.GetValueNames()) {
            $data = $fonts.GetValue($valueName)
            # Ordinal, letter case ignored, as the file system compares names: a
            # full-width spelling is another file's name.
            if ($data -is [string] -and
                [string]::Equals($data.Trim(), $name, [StringComparison]::OrdinalIgnoreCase)) {
                $fonts.DeleteValue($valueName, $false)
            }
        }
    } finally {
        $fonts.Close()
    }
}
if (Test-Path -LiteralPath $target -PathType Leaf) {
    [void][Norvale.FontApi]::RemoveFontResource($target)
    $ignored = [IntPtr]::Zero
    [void][Norvale.FontApi]::SendMessageTimeout([IntPtr]0xffff, 0x1D, [IntPtr]::Zero, [IntPtr]::Zero, 2, 1000, [ref]$ignored)
    Remove-Item -LiteralPath $target -Force
}
exit 0
