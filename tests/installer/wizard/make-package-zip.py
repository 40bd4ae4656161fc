"""Writes the tiny package archives the install run's tests serve, each with
one top folder, as the installer's zip entries carry it: the package
(argv[1]), and beside it two that a user could put in its place (other
names; other names and an uninstaller) and one that brings an uninstaller
along with its files ("wizard-uninst.zip")."""
import os
import sys
import zipfile

ARCHIVES = {
    os.path.basename(sys.argv[1]): {
        "Norvale POS/readme.txt": "installed from the archive\r\n",
        "Norvale POS/bin/core.txt": "core\r\n" * 200,
    },
    "wizard-renamed.zip": {
        "Planted/planted.txt": "a user's file\r\n",
        "Planted/bin/planted.exe": "MZ a user's program\r\n",
    },
    "wizard-planted.zip": {
        "Planted/planted.txt": "a user's file\r\n",
        "Planted/Uninst/Dekant00.exe": "MZ a user's uninstaller\r\n",
    },
    "wizard-uninst.zip": {
        "Norvale POS/tools.txt": "tools\r\n",
        "Norvale POS/Uninst/Dekant00.exe": "MZ an archive's uninstaller\r\n",
    },
}

folder = os.path.dirname(sys.argv[1])
for name, entries in ARCHIVES.items():
    with zipfile.ZipFile(os.path.join(folder, name), "w", zipfile.ZIP_DEFLATED) as archive:
        for entry, text in entries.items():
            archive.writestr(entry, text)
