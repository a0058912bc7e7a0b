#!/usr/bin/env bash
# Builds the Windows installer from a cross build's programs:
#
#   packaging/msi/build-msi.sh WIN_BUILD_DIR VERSION OUTPUT.msi
#
# wixl (Debian package wixl) writes the package from zorvik-updater.wxs; it
# cannot write the Environment table, so msibuild (package msitools) adds the
# PATH entry that makes the command line reachable from a terminal, and the
# two actions that write and remove it.
set -euo pipefail
if (($# != 3)); then
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
win_build=$(realpath "$1")
version=$2
output=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
for tool in wixl msibuild msiinfo x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || { echo "build-msi: $tool is missing" >&2; exit 2; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# wixl takes the files by names relative to where it runs; the programs go
# in without their debugging symbols.
for exe in apps/windows/zorvik-updater.exe apps/cli/zorvik-updater-cli.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$win_build/$exe"
done
(cd "$stage" && wixl -a x64 -D Version="$version" -o package.msi "$here/zorvik-updater.wxs")

# "=-*": set on install, removed on uninstall, for the whole machine; [~]
# keeps what PATH held before and appends our folder.
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n' >"$stage/Environment.idt"
printf 'PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tCommandLine\n' >>"$stage/Environment.idt"
msiinfo export "$stage/package.msi" InstallExecuteSequence >"$stage/InstallExecuteSequence.idt"
printf 'RemoveEnvironmentStrings\t\t3300\nWriteEnvironmentStrings\t\t5200\n' >>"$stage/InstallExecuteSequence.idt"
(cd "$stage" && msibuild package.msi -i Environment.idt && msibuild package.msi -i InstallExecuteSequence.idt)
mv "$stage/package.msi" "$output"
echo "$output"
