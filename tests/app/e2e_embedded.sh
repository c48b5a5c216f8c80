#!/bin/bash
# End to end under a virtual X server: a host window gives its id, `pelmira exportar <id>` must
# come up as its child, is driven through a complete export of the sample school with real
# keyboard and mouse events, closes itself and leaves Transformado=1 in the Horvex.ini beside
# the program. Then the host window goes away under an embedded window, which must close and
# write Horvex.ini; and a stand-alone import of the same school over an empty solution table.
#
# usage: e2e_embedded.sh PELMIRA HOST_WINDOW SCHOOL_XML EMPTY_SOLUC_DBF OUTPUT_FOLDER
set -u

if [ "${1:-}" != "--inside" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$@"
fi
shift
PELMIRA=$1
HOST=$2
SCHOOL=$3
SOLUC=$4
OUT=$5

fail() {
    echo "FAIL: $*"
    import -window root "$OUT/failure.png" 2>/dev/null
    echo "windows:"; xwininfo -root -tree 2>/dev/null | grep -v '(has no name)' | head -40
    [ -n "${PEL_PID:-}" ] && kill "$PEL_PID" 2>/dev/null
    [ -n "${HOST_PID:-}" ] && kill "$HOST_PID" 2>/dev/null
    exit 1
}

# Waits up to $2 tenths of a second for a visible window named $1; prints its id.
wait_window() {
    local name=$1 tries=${2:-100} id
    for ((i = 0; i < tries; i++)); do
        id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | tail -1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Clicks at x,y inside window $1.
click_in() {
    xdotool mousemove --window "$1" "$2" "$3" sleep 0.2 click 1
}

rm -rf "$OUT"
mkdir -p "$OUT/bin" "$OUT/wine/drive_c/HTEMP" "$OUT/school"
cp "$PELMIRA" "$OUT/bin/pelmira"
cp "$SCHOOL" "$OUT/school/escuela.xml"
export WINEPREFIX=$OUT/wine
export QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORMTHEME=
HTEMP=$OUT/wine/drive_c/HTEMP

# --- the host window --------------------------------------------------------------------------
"$HOST" > "$OUT/host.id" &
HOST_PID=$!
for ((i = 0; i < 100; i++)); do
    [ -s "$OUT/host.id" ] && break
    sleep 0.1
done
HOST_ID=$(head -1 "$OUT/host.id")
[ -n "$HOST_ID" ] || fail "the host window gave no id"
echo "host window 0x$HOST_ID"

# --- embedded export --------------------------------------------------------------------------
"$OUT/bin/pelmira" exportar "$HOST_ID" > "$OUT/pelmira.log" 2>&1 &
PEL_PID=$!

for ((i = 0; i < 100; i++)); do
    xwininfo -tree -id "0x$HOST_ID" 2>/dev/null | grep -q '"Exportar e importar datos entre Horvex e ITACA"' && break
    sleep 0.1
done
xwininfo -tree -id "0x$HOST_ID" > "$OUT/host-tree.txt"
grep -q '"Exportar e importar datos entre Horvex e ITACA"' "$OUT/host-tree.txt" ||
    fail "pelmira is not a child of the host window"
MAIN=$(grep '"Exportar e importar datos entre Horvex e ITACA"' "$OUT/host-tree.txt" | awk '{print $1}')
grep '"Exportar e importar' "$OUT/host-tree.txt" | grep -q '+0+0' || fail "not at 0,0 of the host"
sleep 0.5
import -window root "$OUT/embedded-main.png"

# The keyboard reaches the embedded window once it is clicked: type the language.
click_in "$MAIN" 230 78
xdotool key ctrl+a
xdotool type --delay 30 CASTELLANO
sleep 0.3

# BExportar: at 96,120 on the export panel, which fills the window.
click_in "$MAIN" 140 132
DLG=$(wait_window "Archivo XML") || fail "no file dialog"
sleep 0.5
xdotool windowfocus --sync "$DLG" 2>/dev/null
xdotool type --delay 20 "$OUT/school/escuela.xml"
xdotool key Return

CHOOSER=$(wait_window "Plantillas Horarias") || fail "no chooser"
sleep 0.5
import -window root "$OUT/chooser.png"
click_in "$CHOOSER" 299 246

# Questions (Si is the default) until the final message, then the window closes by itself.
for ((step = 0; step < 10; step++)); do
    if ! kill -0 "$PEL_PID" 2>/dev/null; then
        break
    fi
    BOX=$(wait_window "(Confirmación|Pelmira)" 50) || continue
    sleep 0.3
    import -window root "$OUT/box-$step.png"
    xdotool windowfocus --sync "$BOX" 2>/dev/null
    xdotool key Return
    sleep 0.5
done
for ((i = 0; i < 50; i++)); do
    kill -0 "$PEL_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$PEL_PID" 2>/dev/null && fail "pelmira did not close itself after the export"
wait "$PEL_PID"
echo "pelmira exit code $?"

[ -f "$OUT/bin/Horvex.ini" ] || fail "no Horvex.ini beside the program"
grep -q '^Transformado=1' "$OUT/bin/Horvex.ini" || fail "Horvex.ini: $(cat "$OUT/bin/Horvex.ini")"
grep -q '^\[Transformadores\]' "$OUT/bin/Horvex.ini" || fail "no section in Horvex.ini"
for t in ASIGNOMT PROFT AULAT CURSOST GRUPOST ASIGT DIASHORAST; do
    [ -f "$HTEMP/$t.DBF" ] || fail "no $t.DBF"
done
# The language typed into the embedded window: Castilian day names.
grep -aq 'Lunes' "$HTEMP/DIASHORAST.DBF" || fail "DIASHORAST without Castilian day names"
echo "embedded export: ok"

# --- the host goes away: pelmira closes as if Horvex had closed it ---------------------------
rm -f "$OUT/bin/Horvex.ini"
"$OUT/bin/pelmira" importar "$HOST_ID" >> "$OUT/pelmira.log" 2>&1 &
PEL_PID=$!
for ((i = 0; i < 100; i++)); do
    xwininfo -tree -id "0x$HOST_ID" 2>/dev/null | grep -q '"Exportar e importar' && break
    sleep 0.1
done
kill "$HOST_PID"
wait "$HOST_PID" 2>/dev/null
HOST_PID=
for ((i = 0; i < 50; i++)); do
    kill -0 "$PEL_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$PEL_PID" 2>/dev/null && fail "pelmira stayed after its host window went away"
grep -q '^Transformado=0' "$OUT/bin/Horvex.ini" || fail "host gone: Horvex.ini missing or wrong"
echo "host gone: ok"

# --- stand-alone import -----------------------------------------------------------------------
cp "$SOLUC" "$HTEMP/SOLUC.DBF"
rm -f "$OUT/bin/Horvex.ini"
"$OUT/bin/pelmira" >> "$OUT/pelmira.log" 2>&1 &
PEL_PID=$!
MAIN=$(wait_window "Exportar e importar datos entre Horvex e ITACA") || fail "no stand-alone window"
sleep 0.5
import -window root "$OUT/standalone-main.png"

# BImportar: at 96,120 on the import panel, which stands at 316,0.
click_in "$MAIN" 456 132
BOX=$(wait_window "Pelmira") || fail "no reminder before the file dialog"
xdotool windowfocus --sync "$BOX" 2>/dev/null
xdotool key Return
DLG=$(wait_window "Archivo XML") || fail "no file dialog (import)"
sleep 0.5
xdotool windowfocus --sync "$DLG" 2>/dev/null
xdotool type --delay 20 "$OUT/school/escuela.xml"
xdotool key Return
CHOOSER=$(wait_window "Plantillas Horarias") || fail "no chooser (import)"
sleep 0.5
import -window root "$OUT/chooser-import.png"
click_in "$CHOOSER" 299 246
BOX=$(wait_window "Pelmira") || fail "no final message (import)"
sleep 0.3
import -window root "$OUT/import-done.png"
xdotool windowfocus --sync "$BOX" 2>/dev/null
xdotool key Return
sleep 0.5
kill -0 "$PEL_PID" 2>/dev/null || fail "the stand-alone window closed after the run"
[ -f "$OUT/school/ResultadoHorvexescuela.xml" ] || fail "no result document beside the input"
import -window root "$OUT/standalone-after.png"

# Both run buttons are disabled now: a click on BExportar shows no file dialog.
click_in "$MAIN" 140 132
wait_window "Archivo XML" 10 > /dev/null && fail "BExportar still enabled after a completed run"

# BClose ("Salir", 256,32 on the bottom panel at 0,168) ends the program; nothing is written.
click_in "$MAIN" 300 212
for ((i = 0; i < 50; i++)); do
    kill -0 "$PEL_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$PEL_PID" 2>/dev/null && fail "Salir did not end the program"
[ -f "$OUT/bin/Horvex.ini" ] && fail "stand-alone wrote Horvex.ini"
echo "stand-alone import: ok"
echo "PASS"
