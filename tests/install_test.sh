#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it from there: both programs run, through
# symbolic links too, and the window finds the help file beside its real location.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix/pelmira" >/dev/null
for f in pelmira pelmira-cli ITACA.chm pelmira.desktop pelmira.svg; do
  [ -e "$prefix/pelmira/$f" ] || { echo "falta $f en la instalación" >&2; exit 1; }
done

mkdir "$prefix/bin"
ln -s "$prefix/pelmira/pelmira-cli" "$prefix/bin/pelmira-cli"
ln -s "$prefix/pelmira/pelmira" "$prefix/bin/pelmira"

help=$("$prefix/bin/pelmira-cli" --help)
grep -q "pelmira-cli export" <<<"$help"
grep -qF "Ayuda de la ventana: $prefix/pelmira/ITACA.chm" <<<"$help"
work=$(mktemp -d -p "$prefix")
cp "$(dirname "$0")/data/escuela.xml" "$prefix/escuela.xml"
"$prefix/bin/pelmira-cli" export "$prefix/escuela.xml" --workdir "$work" >/dev/null
"$prefix/bin/pelmira-cli" dump "$work/DIASHORAST.DBF" >/dev/null

out=$(QT_QPA_PLATFORM=offscreen PELMIRA_CHECK_HELP=1 "$prefix/bin/pelmira")
echo "$out"
case $out in
  "$prefix/pelmira/ITACA.chm: 2 temas numerados") ;;
  *) echo "la ventana no encuentra su ayuda junto al programa" >&2; exit 1 ;;
esac
