#!/bin/sh
# An install folder holding links made on the host side (Wine 8 makes none
# through CreateSymbolicLinkW, yet shows these as reparse points): folder
# and file links beside the program, in its own folder and in a data
# folder, all leading to a decoy folder and a decoy file outside it.
#   make-link-fixture.sh FOLDER
set -eu
root=${1:?usage: make-link-fixture.sh FOLDER}
rm -rf "$root"
mkdir -p "$root/decoy" "$root/Pos/Uninst" "$root/Pos/data"
printf mine > "$root/decoy/precious.txt"
printf mine > "$root/decoy.txt"
printf x > "$root/Pos/Uninst/Dekant00.exe"
printf x > "$root/Pos/Uninst/Setup.log"
printf x > "$root/Pos/data/pos.dat"
ln -s ../decoy "$root/Pos/folderlink"
ln -s ../decoy.txt "$root/Pos/filelink.txt"
ln -s ../../decoy "$root/Pos/Uninst/folderlink"
ln -s ../../decoy.txt "$root/Pos/Uninst/filelink.txt"
ln -s ../../decoy.txt "$root/Pos/data/filelink.txt"
