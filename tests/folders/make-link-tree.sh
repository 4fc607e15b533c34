#!/bin/sh
# Folder links for the walk's tests, made as the file system's own symbolic links (the test
# program cannot make them itself): R/S/loop leads back to R, R/ext and R/ext2 both lead to O,
# R/dangling leads nowhere.
set -e
tree=$1
rm -rf "$tree"
mkdir -p "$tree/R/S" "$tree/O"
ln -s .. "$tree/R/S/loop"
ln -s ../O "$tree/R/ext"
ln -s ../O "$tree/R/ext2"
ln -s ../missing "$tree/R/dangling"

# Drive V: of the test prefix, for a walk that starts at the root of a drive.
prefix=$2
mkdir -p "$tree/drive"
if [ -n "$prefix" ] && [ -d "$prefix/dosdevices" ]; then
  ln -sfn "$tree/drive" "$prefix/dosdevices/v:"
fi
