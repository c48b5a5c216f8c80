#!/bin/bash
# End to end under a virtual X server: a host window gives its id, `pelmira exportar <id>` must
# come up as its child, is driven through a complete export of the sample school with real
# keyboard and mouse events, closes itself and leaves Transformado=1 in the Horvex.ini beside
# the program. On the way: every dialog is transient for the host's window and centred on it, the
# keyboard comes back to the embedded window after a dialog, the covered controls take neither
# the focus nor Alt+S, the help window opened by F1 in the chooser takes input beside it, and the
# log holds no Qt warning. Then the host window goes away: under an idle embedded window, and
# during a run (file dialog, chooser, first question), which must be abandoned where it stands:
# every dialog closed, no later table written, Transformado=0, the program gone within two
# seconds. Last, a stand-alone import of the same school over an empty solution table.
#
# Window titles may carry Qt's " — Pelmira" after them (the application's display name).
#
# usage: e2e_embedded.sh PELMIRA HOST_WINDOW SCHOOL_XML EMPTY_SOLUC_DBF OUTPUT_FOLDER
set -u

source "$(dirname "$0")/../support/x11.sh"
[ "${1:-}" = --inside ] || x11_start "$0" "$@"
shift
x11_wait_server
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
    x11_wait_window "^$1( — Pelmira)?\$" "${2:-100}"
}

# Clicks at x,y inside window $1.
click_in() {
    xdotool mousemove --window "$1" "$2" "$3" sleep 0.2 click 1
}

# A window id as a decimal number (xwininfo and xprop write hexadecimal, xdotool decimal).
decimal() {
    printf '%d' "$1"
}

# Window $1 must be transient for the host's window and centred on it (within 2 pixels), kept
# wholly on the 1024x768 screen.
check_owned() {
    local id=$1 what=$2 transient
    transient=$(xprop -id "$id" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # //p')
    [ -n "$transient" ] || fail "$what: no WM_TRANSIENT_FOR"
    [ "$(decimal "$transient")" = "$(decimal "0x$HOST_ID")" ] ||
        fail "$what: transient for $transient, not for the host 0x$HOST_ID"
    read -r dx dy dw dh < <(geometry "$id")
    read -r hx hy hw hh < <(geometry "0x$HOST_ID")
    local ex=$((hx + (hw - dw) / 2)) ey=$((hy + (hh - dh) / 2))
    ex=$((ex + dw > 1024 ? 1024 - dw : ex)); ex=$((ex < 0 ? 0 : ex))
    ey=$((ey + dh > 768 ? 768 - dh : ey)); ey=$((ey < 0 ? 0 : ey))
    local cx=$((dx - ex)) cy=$((dy - ey))
    ((cx >= -2 && cx <= 2 && cy >= -2 && cy <= 2)) ||
        fail "$what: not centred on the host (off by $cx,$cy)"
    echo "$what: transient for the host and centred on it"
}

# Left, top, width and height of window $1 on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
                            /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# Starts a host window; sets HOST_PID and HOST_ID.
start_host() {
    rm -f "$OUT/host.id"
    "$HOST" > "$OUT/host.id" &
    HOST_PID=$!
    for ((i = 0; i < 100; i++)); do
        [ -s "$OUT/host.id" ] && break
        sleep 0.1
    done
    HOST_ID=$(head -1 "$OUT/host.id")
    [ -n "$HOST_ID" ] || fail "the host window gave no id"
}

# Starts `pelmira exportar` in the host; sets PEL_PID and MAIN (the embedded window).
start_embedded() {
    "$OUT/bin/pelmira" "$1" "$HOST_ID" >> "$OUT/pelmira.log" 2>&1 &
    PEL_PID=$!
    for ((i = 0; i < 100; i++)); do
        MAIN=$(xwininfo -tree -id "0x$HOST_ID" 2>/dev/null |
               grep -E '"Exportar e importar datos entre Horvex e ITACA( — Pelmira)?"' | awk '{print $1}')
        [ -n "$MAIN" ] && break
        sleep 0.1
    done
    [ -n "$MAIN" ] || fail "pelmira is not a child of the host window"
    sleep 0.5
}

# The host goes away; pelmira must end within two seconds, leaving Transformado=0.
lose_host() {
    local what=$1 start end
    start=$(date +%s%N)
    kill "$HOST_PID"
    wait "$HOST_PID" 2>/dev/null
    HOST_PID=
    for ((i = 0; i < 40; i++)); do
        kill -0 "$PEL_PID" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$PEL_PID" 2>/dev/null && fail "$what: pelmira stayed after its host went away"
    end=$(date +%s%N)
    echo "$what: pelmira ended $(((end - start) / 1000000)) ms after its host"
    grep -q '^Transformado=0' "$OUT/bin/Horvex.ini" ||
        fail "$what: Horvex.ini: $(cat "$OUT/bin/Horvex.ini" 2>/dev/null)"
}

# Caption check on a screenshot: the place x,y,w,h of window $2 in screenshot $1, read by OCR
# (psm $3: 7 one line, 6 a block), must hold the whole caption $4 (compared on letters and
# digits only, without regard to case or accents), so that a clipped caption fails.
caption() {
    local png=$1 win=$2 psm=$3 text=$4 x=$5 y=$6 w=$7 h=$8 wx wy read
    read -r wx wy _ < <(geometry "$win")
    # Three readings at different scales and contrasts: OCR misreads a letter now and then.
    read=""
    for setting in "200 70" "300 100" "200 100"; do
        set -- $setting
        convert "$png" -crop "${w}x${h}+$((wx + x))+$((wy + y))" +repage -resize "$1%" \
            -colorspace Gray -level "0%,$2%" "$OUT/caption.png"
        read+=" | $(tesseract "$OUT/caption.png" - -l spa --psm "$psm" 2>/dev/null | tr '\n' ' ')"
    done
    python3 - "$text" "$read" <<'PY' || fail "caption \"$text\" not whole on the screen: read \"$read\""
import sys, unicodedata
def norm(s):
    s = unicodedata.normalize("NFKD", s)
    return "".join(c for c in s.lower() if c.isalnum())
sys.exit(0 if any(norm(sys.argv[1]) in norm(r) for r in sys.argv[2].split(" | ")) else 1)
PY
}

# The work tables in the folder, in a line.
tables() {
    (cd "$HTEMP" && ls -- *.DBF 2>/dev/null | grep -v SOLUC | sort | tr '\n' ' ')
}

rm -rf "$OUT"
mkdir -p "$OUT/bin" "$OUT/wine/drive_c/HTEMP" "$OUT/school"
cp "$PELMIRA" "$OUT/bin/pelmira"
cp "$(dirname "$PELMIRA")/ITACA.chm" "$OUT/bin/" || fail "no help file beside the program"
cp "$SCHOOL" "$OUT/school/escuela.xml"
export WINEPREFIX=$OUT/wine
export QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORMTHEME=
HTEMP=$OUT/wine/drive_c/HTEMP

cp "$SCHOOL" "$OUT/school/roto.xml"
echo "esto no es XML" > "$OUT/school/roto.xml"

# --- the host window --------------------------------------------------------------------------
start_host
echo "host window 0x$HOST_ID"

# --- embedded export --------------------------------------------------------------------------
start_embedded exportar
xwininfo -tree -id "0x$HOST_ID" > "$OUT/host-tree.txt"
grep -E '"Exportar e importar' "$OUT/host-tree.txt" | grep -q '+0+0' || fail "not at 0,0 of the host"
import -window root "$OUT/embedded-main.png"

# A first attempt on a file that is no XML ends on the error box.
click_in "$MAIN" 140 132
DLG=$(wait_window "Archivo XML") || fail "no file dialog"
sleep 0.5
check_owned "$DLG" "file dialog"
import -window root "$OUT/file-dialog.png"
xdotool windowfocus --sync "$DLG" 2>/dev/null
xdotool type --delay 20 "$OUT/school/roto.xml"
xdotool key Return
BOX=$(wait_window "Pelmira") || fail "no error box for a file that is no XML"
sleep 0.3
check_owned "$BOX" "error box"
import -window root "$OUT/error-box.png"
xdotool windowfocus --sync "$BOX" 2>/dev/null
xdotool key Return
sleep 0.5

# The X keyboard focus is back in the embedded window; Alt+S (the covered "Salir") does nothing.
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$(decimal "$MAIN")" ] ||
    fail "the keyboard focus did not come back to the embedded window"
echo "focus back in the embedded window"
xdotool key alt+s
sleep 0.5
kill -0 "$PEL_PID" 2>/dev/null || fail "Alt+S closed the embedded window"

# The language typed into the selector; Tab goes from it to BExportar and the space bar starts
# the run.
click_in "$MAIN" 230 78
xdotool key ctrl+a
xdotool type --delay 30 CASTELLANO
sleep 0.3
import -window root "$OUT/embedded-typed.png"
xdotool key Tab
sleep 0.3
xdotool key space
DLG=$(wait_window "Archivo XML") || fail "Tab and space did not start the run from BExportar"
sleep 0.5
xdotool windowfocus --sync "$DLG" 2>/dev/null
xdotool type --delay 20 "$OUT/school/escuela.xml"
xdotool key Return

CHOOSER=$(wait_window "Plantillas Horarias") || fail "no chooser"
sleep 0.5
check_owned "$CHOOSER" "chooser"
import -window root "$OUT/chooser.png"

# F1 in the chooser: the help window opens and takes input beside the modal chooser (its
# context menu opens on a right click).
xdotool windowfocus --sync "$CHOOSER" 2>/dev/null
xdotool key F1
HELP=$(wait_window "Ayuda - ITACA.chm") || fail "F1 in the chooser opened no help window"
sleep 0.5
xdotool mousemove --window "$HELP" 500 200 sleep 0.3 click 3
sleep 0.8
import -window root "$OUT/help-menu.png"
xdotool key Escape
sleep 0.3
tesseract "$OUT/help-menu.png" "$OUT/help-menu" -l spa > /dev/null 2>&1
grep -q "Seleccionar todo" "$OUT/help-menu.txt" ||
    fail "no Spanish context menu in the help window beside the chooser"
echo "help window beside the chooser: its context menu reads Spanish"
# No window manager here: the help window, shown last, lies over the chooser.
xdotool windowraise "$CHOOSER"
xdotool windowfocus --sync "$CHOOSER" 2>/dev/null
sleep 0.3
click_in "$CHOOSER" 299 246

# Questions (Si is the default) until the final message, then the window closes by itself.
for ((step = 0; step < 10; step++)); do
    if ! kill -0 "$PEL_PID" 2>/dev/null; then
        break
    fi
    BOX=$(wait_window "(Confirmación|Pelmira)" 50) || continue
    sleep 0.3
    check_owned "$BOX" "box $step"
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

# No Qt warning in the log of the embedded run ("must be a top level window" and the like).
grep -v 'XDG_RUNTIME_DIR' "$OUT/pelmira.log" > "$OUT/warnings.txt"
[ -s "$OUT/warnings.txt" ] && fail "the embedded run logged: $(head -5 "$OUT/warnings.txt")"
echo "no Qt warning in the log"

# --- the host goes away: pelmira closes as if Horvex had closed it ---------------------------
rm -f "$OUT/bin/Horvex.ini"
start_embedded importar
lose_host "idle window"

# --- stand-alone import -----------------------------------------------------------------------
cp "$SOLUC" "$HTEMP/SOLUC.DBF"
rm -f "$OUT/bin/Horvex.ini"
"$OUT/bin/pelmira" >> "$OUT/pelmira.log" 2>&1 &
PEL_PID=$!
MAIN=$(wait_window "Exportar e importar datos entre Horvex e ITACA") || fail "no stand-alone window"
sleep 0.5
import -window root "$OUT/standalone-main.png"
# Every caption whole at the stored sizes (each place a few pixels larger than the control's).
P="$OUT/standalone-main.png"
caption "$P" "$MAIN" 6 "Transformar datos desde ITACA hacia Horvex" 20 20 275 64
caption "$P" "$MAIN" 7 "Recoger Textos en:" 2 68 170 22
caption "$P" "$MAIN" 6 "Transformar datos desde Horvex hacia ITACA" 320 20 310 64
caption "$P" "$MAIN" 7 "Aceptar" 92 116 97 33
caption "$P" "$MAIN" 7 "Aceptar" 412 116 97 33
caption "$P" "$MAIN" 7 "Pelmira para RX30 V-1.1" 4 236 200 22
caption "$P" "$MAIN" 7 "Salir" 252 196 97 33
caption "$P" "$MAIN" 7 "F1 Ayuda" 44 204 83 33
echo "main window: every caption whole"

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
P="$OUT/chooser-import.png"
caption "$P" "$CHOOSER" 7 "EXPORTACIÓN A ITACA" 2 6 200 22
caption "$P" "$CHOOSER" 6 "Seleccione la Plantilla Horaria que quiere aplicar para Exportar su Horario a ITACA." 2 29 329 41
caption "$P" "$CHOOSER" 7 "HORAS" 224 57 75 26
caption "$P" "$CHOOSER" 7 "Horario:" 0 101 70 30
caption "$P" "$CHOOSER" 7 "Turno:" 0 181 46 30
caption "$P" "$CHOOSER" 7 "Continuar" 251 230 97 33
echo "chooser: every caption whole"
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

# --- the host goes away during a run: the run is abandoned where it stands --------------------
# A new host and an embedded export driven up to the dialog $1: file, chooser or question.
export_until() {
    rm -f "$OUT/bin/Horvex.ini"
    start_host
    start_embedded exportar
    click_in "$MAIN" 140 132
    DLG=$(wait_window "Archivo XML") || fail "no file dialog (host loss)"
    sleep 0.5
    [ "$1" = file ] && return
    xdotool windowfocus --sync "$DLG" 2>/dev/null
    xdotool type --delay 20 "$OUT/school/escuela.xml"
    xdotool key Return
    CHOOSER=$(wait_window "Plantillas Horarias") || fail "no chooser (host loss)"
    sleep 0.5
    [ "$1" = chooser ] && return
    click_in "$CHOOSER" 299 246
    wait_window "Confirmación" > /dev/null || fail "no first question (host loss)"
    sleep 0.3
}

rm -f "$HTEMP"/*
export_until file
lose_host "file dialog open"
[ -z "$(tables)" ] || fail "file dialog open: tables written: $(tables)"

export_until chooser
lose_host "chooser open"
[ -z "$(tables)" ] || fail "chooser open: tables written: $(tables)"

export_until question
lose_host "first question open"
# The steps before the question (subject names to assignments) wrote their tables; no later
# step ran (no DIASHORAST).
[ "$(tables)" = "ASIGNOMT.DBF ASIGT.DBF AULAT.DBF CURSOST.DBF GRUPOST.DBF PROFT.DBF " ] ||
    fail "first question open: tables: $(tables)"
echo "host loss during a run: ok"

echo "PASS"
