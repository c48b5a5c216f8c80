#!/usr/bin/env bash
# Compiles the help pages (written in UTF-8) into a .chm: the pages and the contents are turned
# into Windows-1252, which is what the help viewers display correctly, then chmcmd builds it.
# Usage: build-help.sh SOURCE_DIR OUTPUT_FILE
set -euo pipefail
src=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in "$src"/*; do
  case $f in
    *.html | *.hhc) iconv -f UTF-8 -t WINDOWS-1252 "$f" >"$work/$(basename "$f")" ;;
    *) cp "$f" "$work/" ;;
  esac
done
(cd "$work" && chmcmd ITACA.hhp >/dev/null)
mkdir -p "$(dirname "$out")"
cp "$work/ITACA.chm" "$out.tmp"
mv "$out.tmp" "$out"
