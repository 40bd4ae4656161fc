# Uninstalls one font of the machine by its file name in the Fonts folder:
# only the registry values whose data is exactly that name and only that
# file are removed.
#   powershell -ExecutionPolicy unrestricted -NoProfile -NonInteractive
#              -File Remove-Font.ps1 "font name.ttf"
# Started with -File, the name arrives as one argument, taken literally.
# The program that starts it takes the font out of the session's font table
# first (a loaded font holds its file, which could not be deleted) and tells
# the running programs once the script is done. The script itself compiles
# nothing: Add-Type with C# writes the source and the assembly into TEMP,
# which for an elevated run is the account's own, and its unelevated
# programs could change them before they are loaded.
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
    Remove-Item -LiteralPath $target -Force
}
exit 0
