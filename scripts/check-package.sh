#!/usr/bin/env bash
# Checks a built package without installing it: lintian, the files it must hold, its programs
# run from an extracted copy, its desktop entry and AppStream metadata valid.
# Usage: scripts/check-package.sh ostrel-stream_<version>_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
cd "$(dirname "$0")/.."
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Every tag lintian reports as an error or a warning fails the check; overrides, if any, are
# in the package itself with their reasons.
lintian --fail-on error,warning --tag-display-limit 0 "$deb"

dpkg-deb -x "$deb" "$root"
scripts/check-install-tree.sh "$root/usr"
version=$(sed -n 's/^project(OstrelStream VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
got=$("$root/usr/bin/ostrel-stream" --version)
if [ "$got" != "ostrel-stream $version" ]; then
  echo "the extracted program says \"$got\", not \"ostrel-stream $version\"" >&2
  exit 1
fi
desktop-file-validate "$root/usr/share/applications/ostrel-stream.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null
echo "package ok: $(basename "$deb")"
