#!/bin/bash
# The Windows build under Wine, in a Wine prefix made for the run:
#   - pelmira-cli.exe exports and imports the sample school and the test school into C:\HTEMP,
#     and every table and result document equals the Linux build's byte for byte (the time
#     stamp aside);
#   - a table held without sharing (as Horvex holds it) stops the export with "en uso" and no
#     table changes; two runs on one folder at once do not mix their tables;
#   - pelmira.exe started by a host window with its HWND becomes the host's child at 0,0, is
#     driven through a whole export, closes itself and leaves Transformado=1; a host that closes
#     during the chooser ends it with Transformado=0 and no table written; a stand-alone start
#     writes nothing;
#   - F1 hands ITACA.chm and the focused control's context number to HtmlHelpA; the result's
#     fecha_exportacion follows the prefix's locale;
#   - the installer installs silently, the installed programs run, the uninstaller removes them.
#
# usage: run.sh LINUX_PELMIRA_CLI WINDOWS_BUILD_DIR DIST_DIR SAMPLES_DIR TEST_SCHOOL OUTPUT_DIR
set -u

source "$(dirname "$0")/../support/x11.sh"
[ "${1:-}" = --inside ] || x11_start "$0" "$@"
shift
x11_wait_server
LINUX_CLI=$(realpath "$1")
WINBUILD=$(realpath "$2")
DIST=$(realpath "$3")
SAMPLES=$(realpath "$4")
ESCUELA=$(realpath "$5")
OUT=$6

rm -rf "$OUT"
mkdir -p "$OUT"
OUT=$(realpath "$OUT")

export WINEPREFIX=$OUT/prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
WINE=${WINE:-wine}
C=$WINEPREFIX/drive_c
HTEMP=$C/HTEMP

passed=0
failed=0
ok() {
    echo "ok: $*"
    passed=$((passed + 1))
}
bad() {
    echo "FAIL: $*"
    failed=$((failed + 1))
    import -window root "$OUT/failure-$failed.png" 2>/dev/null
}
check() { # description command...
    local what=$1
    shift
    if "$@"; then ok "$what"; else bad "$what"; fi
}

# Runs a Windows program to its end; its exit status is the program's.
win() {
    "$WINE" "$@"
}

# Qt on Windows shows the application's name after a window's own title ("... - Pelmira"), unless
# the title is that name.
wait_window() { # regex [tenths]: prints the id of a visible window whose whole name matches
    x11_wait_window "^($1)( - Pelmira)?\$" "${2:-150}"
}

wait_file() { # file [tenths]
    local tries=${2:-150}
    for ((i = 0; i < tries; i++)); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# --- the prefix ------------------------------------------------------------------------------
echo "Preparando el prefijo de Wine en $WINEPREFIX"
"$WINE" wineboot --init >"$OUT/wineboot.log" 2>&1
wineserver -w
# Xvfb has no window manager. Wine's windows are then its own to draw, frame included: left to a
# window manager that is not there, every hidden window would wait two seconds for it to answer.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$OUT/wineboot.log" 2>&1
wineserver -w
# Wine's own Tahoma, or accented capitals are drawn wrong.
mkdir -p "$C/windows/Fonts"
cp /usr/share/wine/fonts/tahoma*.ttf "$C/windows/Fonts/" 2>/dev/null
mkdir -p "$HTEMP" "$C/datos"

# The programs, run from a copy of the distribution folder inside the prefix.
APP=$C/Pelmira
cp -r "$DIST" "$APP"
cp "$WINBUILD/tests/windows/host.exe" "$WINBUILD/tests/windows/holdfile.exe" "$C/"

# --- same results as Linux -------------------------------------------------------------------
tables=(ASIGNOMT PROFT AULAT CURSOST GRUPOST ASIGT DIASHORAST)

# Compares the work tables of two folders; prints the first difference.
same_tables() {
    local a=$1 b=$2 t
    for t in "${tables[@]}"; do
        if ! cmp -s "$a/$t.DBF" "$b/$t.DBF"; then
            echo "  $t.DBF differs"
            return 1
        fi
    done
}

# A result document without its time stamp.
without_stamp() {
    sed -E 's/fecha_exportacion="[^"]*"/fecha_exportacion=""/' "$1"
}

roundtrip() { # name xml template group-answer prune-answer soluc ("-": the chooser's proposal)
    local name=$1 xml=$2 group=$4 prune=$5 soluc=$6 template=()
    [ "$3" != - ] && template=(--template "$3")
    local lin=$OUT/linux-$name
    mkdir -p "$lin/work" "$lin/doc"
    cp "$xml" "$lin/doc/centro.xml"
    "$LINUX_CLI" export "$lin/doc/centro.xml" --workdir "$lin/work" "${template[@]}" \
        --group-question "$group" --prune-question "$prune" >"$lin/export.log" 2>&1
    local lstatus=$?

    rm -rf "$HTEMP" "$C/datos/$name"
    mkdir -p "$HTEMP" "$C/datos/$name"
    cp "$xml" "$C/datos/$name/centro.xml"
    win "$APP/pelmira-cli.exe" export "C:\\datos\\$name\\centro.xml" "${template[@]}" \
        --group-question "$group" --prune-question "$prune" >"$OUT/win-$name-export.log" 2>&1
    local wstatus=$?
    check "$name: export status $wstatus equals Linux's $lstatus" [ "$wstatus" = "$lstatus" ]
    check "$name: every table equals Linux's" same_tables "$lin/work" "$HTEMP"

    cp "$soluc" "$lin/work/SOLUC.DBF"
    cp "$soluc" "$HTEMP/SOLUC.DBF"
    "$LINUX_CLI" import "$lin/doc/centro.xml" --workdir "$lin/work" >"$lin/import.log" 2>&1
    lstatus=$?
    win "$APP/pelmira-cli.exe" import "C:\\datos\\$name\\centro.xml" >"$OUT/win-$name-import.log" 2>&1
    wstatus=$?
    check "$name: import status $wstatus equals Linux's $lstatus" [ "$wstatus" = "$lstatus" ]
    local lres=$lin/doc/ResultadoHorvexcentro.xml wres=$C/datos/$name/ResultadoHorvexcentro.xml
    check "$name: result document equals Linux's (time stamp aside)" \
        cmp -s <(without_stamp "$lres") <(without_stamp "$wres")
}

roundtrip ejemplo "$SAMPLES/ies-ejemplo.xml" HOR-M no si "$SAMPLES/SOLUC.DBF"
roundtrip escuela "$ESCUELA" - si si "$SAMPLES/SOLUC.DBF"

# --- the system's date and time formats --------------------------------------------------------
# fecha_exportacion is the short date and the long time of the user's locale, which Wine takes
# from the environment: day first for Spain, month first for the United States.
stamp_of() {
    sed -nE 's/.*fecha_exportacion="([^"]*)".*/\1/p' "$1" | head -1
}
for locale in es_ES.UTF-8 en_US.UTF-8; do
    cp "$SAMPLES/SOLUC.DBF" "$HTEMP/SOLUC.DBF"
    env LC_ALL=$locale LANG=$locale "$WINE" "$APP/pelmira-cli.exe" import "C:\\datos\\escuela\\centro.xml" \
        >"$OUT/win-date-$locale.log" 2>&1
    stamp=$(stamp_of "$C/datos/escuela/ResultadoHorvexcentro.xml")
    echo "  $locale: fecha_exportacion=\"$stamp\""
    case $locale in
    es_*) want=$(date +%d/%m/%Y) ;;
    en_*) want=$(date +%-m/%-d/%Y) ;;
    esac
    check "fecha_exportacion in $locale starts with $want" [ "${stamp%% *}" = "$want" ]
done

# --- share modes ---------------------------------------------------------------------------------
# A table held by another program without sharing, as Horvex holds it: the run stops with "en
# uso" at the step that needs it. What the steps before wrote stays (nothing done is undone, as on
# Linux); the held table and those of the later steps keep the previous school's content.
rm -rf "$HTEMP"
mkdir -p "$HTEMP"
win "$APP/pelmira-cli.exe" export "C:\\datos\\ejemplo\\centro.xml" --template HOR-M \
    --group-question no --prune-question si >/dev/null 2>&1
for t in "${tables[@]}"; do cp "$HTEMP/$t.DBF" "$OUT/before-$t.DBF"; done
rm -f "$C/hold.held" "$C/hold.release"
"$WINE" "C:\\holdfile.exe" "C:\\HTEMP\\ASIGT.DBF" "C:\\hold" >"$OUT/holdfile.log" 2>&1 &
HOLD_PID=$!
if wait_file "$C/hold.held" 300 || [ -e "$C/hold.held" ]; then
    win "$APP/pelmira-cli.exe" export "C:\\datos\\escuela\\centro.xml" >"$OUT/win-held.log" 2>&1
    status=$?
    touch "$C/hold.release"
    wait "$HOLD_PID"
    check "held ASIGT.DBF: the export fails (status $status)" [ "$status" = 1 ]
    check "held ASIGT.DBF: the error names the table and says \"en uso\"" \
        grep -q "ASIGT.DBF.*en uso" "$OUT/win-held.log"
    kept=0
    for t in ASIGT DIASHORAST; do cmp -s "$OUT/before-$t.DBF" "$HTEMP/$t.DBF" || kept=1; done
    check "held ASIGT.DBF: the held table and the later ones are as they were" [ "$kept" = 0 ]
    rebuilt=0
    for t in ASIGNOMT PROFT AULAT CURSOST GRUPOST; do
        cmp -s "$OUT/linux-escuela/work/$t.DBF" "$HTEMP/$t.DBF" || rebuilt=1
    done
    check "held ASIGT.DBF: the steps before it wrote their tables as on Linux" [ "$rebuilt" = 0 ]
else
    kill "$HOLD_PID" 2>/dev/null
    bad "holdfile.exe did not hold the table: $(cat "$OUT/holdfile.log")"
fi

# Two runs on one folder at once: each completes or stops with "en uso", and the tables end as one
# run alone leaves them.
# The two runs differ in their language: Castilian names, or the Valencian ones by default.
alone() { # name [options] -> $OUT/alone-NAME holds the tables one run leaves alone
    local name=$1
    shift
    rm -rf "$HTEMP"
    mkdir -p "$HTEMP"
    win "$APP/pelmira-cli.exe" export "C:\\datos\\escuela\\centro.xml" "$@" >/dev/null 2>&1
    mkdir -p "$OUT/alone-$name"
    cp "$HTEMP"/*.DBF "$OUT/alone-$name/"
}
alone CASTELLANO --language CASTELLANO
alone VALENCIA
mixed=0
for round in 1 2 3; do
    "$WINE" "$APP/pelmira-cli.exe" export "C:\\datos\\escuela\\centro.xml" --language CASTELLANO \
        >"$OUT/race-$round-a.log" 2>&1 &
    A=$!
    "$WINE" "$APP/pelmira-cli.exe" export "C:\\datos\\escuela\\centro.xml" \
        >"$OUT/race-$round-b.log" 2>&1 &
    B=$!
    wait "$A"
    sa=$?
    wait "$B"
    sb=$?
    for s in "$sa:$OUT/race-$round-a.log" "$sb:$OUT/race-$round-b.log"; do
        code=${s%%:*}
        log=${s#*:}
        if [ "$code" != 0 ] && ! grep -q "en uso" "$log"; then
            mixed=1
            echo "  round $round: status $code: $(head -3 "$log")"
        fi
    done
    if ! same_tables "$OUT/alone-CASTELLANO" "$HTEMP" >/dev/null &&
        ! same_tables "$OUT/alone-VALENCIA" "$HTEMP" >/dev/null; then
        mixed=1
        echo "  round $round: the tables are a mixture of both runs"
    fi
done
check "two runs on one folder: none mixes its tables with the other's" [ "$mixed" = 0 ]

# --- embedded by HWND ---------------------------------------------------------------------------
INI=$APP/Horvex.ini
host_command() { # command -> waits for the answer when it is "children"
    rm -f "$C/host/host-children.txt"
    echo "$1" >"$C/host/host-command.txt"
    [ "$1" = children ] && wait_file "$C/host/host-children.txt" 50
}
start_host() { # mode
    rm -rf "$C/host"
    mkdir -p "$C/host"
    "$WINE" "C:\\host.exe" "C:\\host" "C:\\Pelmira\\pelmira.exe" "$1" >"$OUT/host-$1.log" 2>&1 &
    HOST_PID=$!
    wait_file "$C/host/host-hwnd.txt" 300 || return 1
    HOST_WIN=$(wait_window "Horvex \\(prueba\\)") || return 1
    # Pelmira's window appears as a child of the host.
    for ((i = 0; i < 150; i++)); do
        host_command children
        grep -q "Exportar e importar datos entre Horvex e ITACA" "$C/host/host-children.txt" && break
        sleep 0.2
    done
    cp "$C/host/host-children.txt" "$OUT/host-children-$1.txt"
    read -r _ sx sy _ <"$C/host/host-children.txt"
    HOST_X=${sx#screen_x=}
    HOST_Y=${sy#screen_y=}
}
click_at() { # x y, relative to the host's client area
    xdotool mousemove "$((HOST_X + $1))" "$((HOST_Y + $2))" sleep 0.2 click 1
}
wait_exit() { # tenths: waits for the converter to end, as the host reports it
    wait_file "$C/host/host-child-exit.txt" "$1"
}
answer_file_dialog() { # path
    local dlg
    dlg=$(wait_window "Archivo XML") || return 1
    sleep 0.7
    xdotool windowfocus --sync "$dlg" 2>/dev/null
    xdotool type --delay 20 "$1"
    xdotool key Return
}

rm -rf "$HTEMP" "$INI"
mkdir -p "$HTEMP"
if start_host exportar; then
    line=$(grep "Exportar e importar datos entre Horvex e ITACA" "$OUT/host-children-exportar.txt" | head -1)
    echo "  $line"
    check "embedded: Pelmira's window is the host's child at 0,0" \
        grep -q "x=0 y=0 " <<<"$line"
    import -window root "$OUT/embedded-main.png"
    click_at 140 132 # BExportar
    if answer_file_dialog 'C:\datos\escuela\centro.xml'; then
        CHOOSER=$(wait_window "Plantillas Horarias") && {
            sleep 0.7
            import -window root "$OUT/embedded-chooser.png"
            xdotool windowfocus --sync "$CHOOSER" 2>/dev/null
            # Continuar, the chooser's default button.
            xdotool key Return
        }
        for ((step = 0; step < 10; step++)); do
            [ -s "$C/host/host-child-exit.txt" ] && break
            BOX=$(wait_window "Confirmación|Pelmira" 50) || continue
            sleep 0.4
            import -window root "$OUT/embedded-box-$step.png"
            xdotool windowfocus --sync "$BOX" 2>/dev/null
            xdotool key Return
            sleep 0.5
        done
    fi
    wait_exit 100
    check "embedded export: Pelmira closed itself" [ -s "$C/host/host-child-exit.txt" ]
    check "embedded export: Horvex.ini holds Transformado=1" grep -q '^Transformado=1' "$INI"
    written=0
    for t in "${tables[@]}"; do [ -f "$HTEMP/$t.DBF" ] || written=1; done
    check "embedded export: every work table written" [ "$written" = 0 ]
    host_command close
    wait "$HOST_PID" 2>/dev/null
else
    bad "the host window did not come up with Pelmira inside: $(cat "$OUT/host-exportar.log")"
    kill "$HOST_PID" 2>/dev/null
fi

# The host closes while the chooser is open: Pelmira ends with Transformado=0 and writes no table.
rm -rf "$HTEMP" "$INI"
mkdir -p "$HTEMP"
if start_host exportar; then
    click_at 140 132
    answer_file_dialog 'C:\datos\escuela\centro.xml'
    if wait_window "Plantillas Horarias" >/dev/null; then
        closed_at=$(date +%s%N)
        host_command close
        # The host, its window gone, still reports the converter's end (its exit status).
        wait_exit 20 && echo "  ended $((($(date +%s%N) - closed_at) / 1000000)) ms after the host's close"
        check "host closed during the chooser: Pelmira ended within 2 seconds" \
            [ -s "$C/host/host-child-exit.txt" ]
        check "host closed during the chooser: Horvex.ini holds Transformado=0" \
            grep -q '^Transformado=0' "$INI"
        check "host closed during the chooser: no table written" \
            bash -c "[ -z \"\$(ls '$HTEMP')\" ]"
    else
        bad "no chooser in the host-loss case"
    fi
    wait "$HOST_PID" 2>/dev/null
    pkill -f 'pelmira\.exe' 2>/dev/null
else
    bad "the host window did not come up for the host-loss case"
fi

# A stand-alone start writes nothing. Its help goes through HtmlHelpA of HHCtrl.ocx, which Wine
# implements with a trace channel of its own ("htmlhelp"): the trace shows the file and the
# command each call hands over, so no seam in the program is needed to see them.
rm -f "$INI"
WINEDEBUG=trace+htmlhelp,-all "$WINE" "C:\\Pelmira\\pelmira.exe" >"$OUT/standalone.log" 2>&1 &
PEL=$!
help_call() { # command data -> waits up to 10 s for that HtmlHelp call on ITACA.chm beside the program
    local pattern="HtmlHelpW \\(.*, L\"C:\\\\\\\\Pelmira\\\\\\\\ITACA\\.chm\", command=$1, data=$2\\)"
    for ((i = 0; i < 100; i++)); do
        grep -Eq "$pattern" "$OUT/standalone.log" && return 0
        sleep 0.1
    done
    return 1
}
if MAIN=$(wait_window "Exportar e importar datos entre Horvex e ITACA" 300); then
    sleep 1
    import -window root "$OUT/standalone.png"
    # The window's frame is drawn by Wine inside the X window: the client area (632x266) sits at
    # the bottom, centred between the side borders.
    read -r mw mh < <(xwininfo -id "$MAIN" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    border=$(((mw - 632) / 2))
    MAIN_X=$border
    MAIN_Y=$((mh - 266 - border))
    click_main() { # x y, relative to the client area
        xdotool mousemove --window "$MAIN" "$((MAIN_X + $1))" "$((MAIN_Y + $2))" sleep 0.2 click 1
    }
    # F1 in the language selector (its text at 200,78 of the window's client area): the topic
    # of its help context, 1.
    click_main 200 78
    sleep 0.5
    xdotool key F1
    check "F1 in the language selector: HtmlHelpA(ITACA.chm beside the program, HH_HELP_CONTEXT, 1)" \
        help_call HH_HELP_CONTEXT 1
    sleep 1
    import -window root "$OUT/standalone-help-context.png"
    # The "F1 Ayuda" button (48,208 .. 123,233): the table of contents.
    xdotool windowactivate --sync "$MAIN" 2>/dev/null
    click_main 85 220
    check "the F1 Ayuda button: HtmlHelpA(ITACA.chm beside the program, HH_DISPLAY_TOC)" \
        help_call HH_DISPLAY_TOC 0
    sleep 1
    import -window root "$OUT/standalone-help-contents.png"
    grep -E "HtmlHelpW|Title is" "$OUT/standalone.log" | sed 's/^/  wine | /' | head -6
    xdotool windowclose "$MAIN" 2>/dev/null || xdotool key --window "$MAIN" alt+F4
    for ((i = 0; i < 50; i++)); do
        kill -0 "$PEL" 2>/dev/null || break
        sleep 0.1
    done
    kill "$PEL" 2>/dev/null
    wait "$PEL" 2>/dev/null
    check "stand-alone: nothing written to Horvex.ini" [ ! -e "$INI" ]
else
    bad "no stand-alone window"
    kill "$PEL" 2>/dev/null
fi
wineserver -k 2>/dev/null

# --- the installer -------------------------------------------------------------------------------
SETUP=$(ls "$(dirname "$DIST")"/Pelmira-*-setup.exe | head -1)
cp "$SETUP" "$C/setup.exe"
win "C:\\setup.exe" /S
wineserver -w
PF=$C/"Program Files"/Pelmira
check "installer: pelmira.exe in Program Files\\Pelmira" [ -f "$PF/pelmira.exe" ]
check "installer: start-menu entry" \
    bash -c "ls \"$C/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelmira/Pelmira.lnk\" >/dev/null 2>&1"
win "C:\\Program Files\\Pelmira\\pelmira-cli.exe" --help >"$OUT/installed-help.log" 2>&1
status=$?
check "installed pelmira-cli.exe --help runs (status $status) and prints its usage" \
    bash -c "[ $status = 0 ] && grep -q '^  pelmira-cli export XML' '$OUT/installed-help.log'"
"$WINE" "C:\\Program Files\\Pelmira\\pelmira.exe" >"$OUT/installed.log" 2>&1 &
PEL=$!
if MAIN=$(wait_window "Exportar e importar datos entre Horvex e ITACA" 300); then
    sleep 1
    import -window root "$OUT/installed.png"
    ok "installed pelmira.exe shows its window"
    xdotool windowclose "$MAIN" 2>/dev/null
else
    bad "installed pelmira.exe shows no window"
fi
sleep 1
kill "$PEL" 2>/dev/null
wait "$PEL" 2>/dev/null
win "C:\\Program Files\\Pelmira\\Desinstalar.exe" /S
# The uninstaller copies itself away and runs from there: wait for it.
for ((i = 0; i < 100; i++)); do
    [ -e "$PF/pelmira.exe" ] || break
    sleep 0.2
done
wineserver -w
check "uninstaller removes the programs" [ ! -e "$PF/pelmira.exe" ]

wineserver -k 2>/dev/null
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
