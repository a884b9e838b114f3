#!/usr/bin/env bash
# Checks that an installed tree (a prefix such as DESTDIR/usr) holds every file the program
# ships, and that its programs answer --help and --version.
# Usage: scripts/check-install-tree.sh PREFIX
set -euo pipefail
prefix=$1
missing=0
need() {
  if [ ! -e "$prefix/$1" ]; then
    echo "missing from the installed tree: $1" >&2
    missing=1
  fi
}
need bin/ostrel-stream
need bin/panel-sim
need share/applications/ostrel-stream.desktop
need share/metainfo/io.github.ostrel.OstrelStream.metainfo.xml
need share/icons/hicolor/scalable/apps/ostrel-stream.svg
for size in 16 22 24 32 48 64 128 256; do
  need share/icons/hicolor/${size}x${size}/apps/ostrel-stream.png
done
need share/man/man1/ostrel-stream.1.gz
need share/man/man1/panel-sim.1.gz
need share/doc/ostrel-stream/copyright
need share/doc/ostrel-stream/changelog.gz
need share/ostrel-stream/help/index.en.html
need share/ostrel-stream/help/index.fr.html
[ "$missing" = 0 ] || exit 1

# Whole outputs first: grep -q stops reading at its match, and with pipefail the writer's
# SIGPIPE would fail the check.
grep -q -- "--version" <<<"$("$prefix/bin/ostrel-stream" --help)"
grep -Eq '^ostrel-stream [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' <<<"$("$prefix/bin/ostrel-stream" --version)"
grep -q "simulated door panel" <<<"$("$prefix/bin/panel-sim" --help)"
echo "install tree ok: $prefix"
