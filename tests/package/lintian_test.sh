#!/usr/bin/env bash
# Builds the Debian package and holds it to Debian's rules as lintian knows
# them: no error and no warning (a tag the package must carry anyway would be
# overridden in the package, with its reason). Checks the window's AppStream
# metadata as software centres read it, and that the changelog names the
# version being packaged. Exit 77 = skipped (lintian or appstreamcli missing).
set -euo pipefail
build_dir=$1
source_dir=$2

for tool in lintian appstreamcli dpkg-deb; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing; scripts/setup.sh installs it (packages lintian, appstream)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/zorvik-updater_*.deb)
echo "package: $(basename "$deb")"

# lintian warns that it runs as root; that line is no finding of the package.
lintian --fail-on error,warning --display-level '>=warning' "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || { echo "FAIL: lintian found errors or warnings"; exit 1; }

appstreamcli validate --no-net "$source_dir/packaging/metainfo/zorvik-updater.metainfo.xml"

version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$source_dir/packaging/debian/changelog")
[ "$version" = "$changelog_version" ] \
  || { echo "FAIL: the package is $version, the changelog's newest entry $changelog_version"; exit 1; }
echo "lintian: no error, no warning; metadata valid; changelog at $version"
