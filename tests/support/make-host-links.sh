#!/bin/sh
# Links made on the host side, which Wine 8 shows as reparse points but
# follows when a program opens them (it makes none through
# CreateSymbolicLinkW): a folder link and a file link beside the folder they
# lead to, for tests of what an elevated run does on a path with a link on
# the way.
#   make-host-links.sh FOLDER
set -eu
root=${1:?usage: make-host-links.sh FOLDER}
rm -rf "$root"
mkdir -p "$root/outside/sub"
printf mine > "$root/outside/keep.txt"
ln -s outside "$root/linked"
ln -s outside/keep.txt "$root/filelink.txt"
