#!/bin/bash
# Qt's own texts read Spanish: under a virtual X server the stand-alone window opens its file
# dialog, a screenshot of the dialog is read by OCR (tesseract, Spanish), and the labels and
# buttons must be Qt's Spanish ones, not the English "Look in", "File name", "Cancel".
#
# usage: spanish_dialog.sh PELMIRA OUTPUT_FOLDER [EXPECTED_TRANSLATION_FILE]
# Runs with the caller's locale (the ctest entries give LANG=C and es_ES.UTF-8). With a third
# argument the program must report that file as its translation (installed folder first).
set -u

source "$(dirname "$0")/../support/x11.sh"
[ "${1:-}" = --inside ] || x11_start "$0" "$@"
shift
x11_wait_server
PELMIRA=$1
OUT=$2
EXPECTED=${3:-}

fail() {
    echo "FAIL: $*"
    if [ -n "${PEL_PID:-}" ]; then
        kill "$PEL_PID" 2>/dev/null
        [ -s "$OUT/pelmira.log" ] && sed 's/^/  log | /' "$OUT/pelmira.log"
    fi
    exit 1
}

rm -rf "$OUT"
mkdir -p "$OUT"
export QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORMTHEME=

found=$(PELMIRA_CHECK_TRANSLATION=1 "$PELMIRA") || fail "no Qt translation found"
echo "translation: $found"
if [ -n "$EXPECTED" ]; then
    [ "$(readlink -f "$found")" = "$(readlink -f "$EXPECTED")" ] ||
        fail "translation taken from $found instead of $EXPECTED"
fi

# Waits for a visible window whose name begins with $1; prints its id. Up to 30 seconds: on a
# busy machine (two cores, other window tests beside this one) a first start takes a while.
wait_window() {
    x11_wait_window "^$1" 300
}

"$PELMIRA" > "$OUT/pelmira.log" 2>&1 &
PEL_PID=$!
MAIN=$(wait_window 'Exportar e importar datos entre Horvex e ITACA') || fail "no main window"
sleep 0.5
xdotool mousemove --window "$MAIN" 140 132 sleep 0.2 click 1
DLG=$(wait_window 'Archivo XML') || fail "no file dialog"
sleep 1
# A name typed, so that "Abrir" is enabled and not greyed out.
xdotool windowfocus --sync "$DLG" 2>/dev/null
xdotool type --delay 20 escuela
sleep 0.5
import -window "$DLG" "$OUT/file-dialog.png" || fail "no screenshot"
# Read as it is and enlarged: each reading misses a word now and then, the two together do not.
convert "$OUT/file-dialog.png" -resize 200% "$OUT/file-dialog-2x.png"
tesseract "$OUT/file-dialog.png" "$OUT/ocr-1x" -l spa > /dev/null 2>&1 || fail "tesseract failed"
tesseract "$OUT/file-dialog-2x.png" "$OUT/ocr-2x" -l spa > /dev/null 2>&1 || fail "tesseract failed"
# The default button (icon, mnemonic, frame) reads only on its own: the bottom right corner.
convert "$OUT/file-dialog.png" -gravity SouthEast -crop 60x24+4+44 +repage -resize 400% \
    "$OUT/open-button.png"
tesseract "$OUT/open-button.png" "$OUT/ocr-button" -l spa --psm 7 > /dev/null 2>&1 ||
    fail "tesseract failed"
cat "$OUT/ocr-1x.txt" "$OUT/ocr-2x.txt" "$OUT/ocr-button.txt" > "$OUT/file-dialog.txt"
echo "OCR of the file dialog:"
sed 's/^/  | /' "$OUT/ocr-1x.txt" "$OUT/ocr-button.txt"

for text in "Ver en" "Nombre de fichero" "Ficheros de tipo" "Abrir" "Cancelar"; do
    grep -qi "$text" "$OUT/file-dialog.txt" || fail "the file dialog does not read \"$text\""
done
for text in "Look in" "File name" "Files of type" "Cancel"; do
    grep -qiw "$text" "$OUT/file-dialog.txt" && fail "the file dialog still reads \"$text\""
done

xdotool key --window "$DLG" Escape
kill "$PEL_PID" 2>/dev/null
wait "$PEL_PID" 2>/dev/null
echo "PASS"
