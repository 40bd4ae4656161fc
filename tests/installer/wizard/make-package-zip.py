"""Writes the tiny package archive the install run's tests serve: one top
folder, as the installer's zip entries carry it."""
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    archive.writestr("Norvale POS/readme.txt", "installed from the archive\r\n")
    archive.writestr("Norvale POS/bin/core.txt", "core\r\n" * 200)
