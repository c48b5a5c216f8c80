#!/bin/bash
# Qt's Spanish texts in the installed folder: installs the build into a scratch prefix, and the
# program run from there must take the translation it carries and show its file dialog in
# Spanish (spanish_dialog.sh), with LANG=C.
#
# usage: spanish_installed.sh BUILD_DIR OUTPUT_FOLDER
set -eu
BUILD=$1
OUT=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$BUILD" --prefix "$prefix/pelmira" > /dev/null
[ -f "$prefix/pelmira/translations/qtbase_es.qm" ] || { echo "FAIL: no translation installed"; exit 1; }
LANG=C LC_ALL=C "$(dirname "$0")/spanish_dialog.sh" "$prefix/pelmira/pelmira" "$OUT" \
    "$prefix/pelmira/translations/qtbase_es.qm"
