#!/usr/bin/env bash
# The window's life as a person sees it, on a real X server with a window
# manager (openbox) and a notification area (trayer): the program is driven
# with xdotool and read back with xprop and xwininfo. The offscreen platform
# of the unit tests has neither, so what happens between the program, the
# window manager and the tray is checked here.
#
# It starts an X server of its own (Xvfb, 1280x800, on the first free display
# number) and stops everything it started when it ends:
#     tests/desktop/window-lifecycle.sh build/bin/tidewell-episode-keeper
# Screenshots of the start in the tray, of a message box and of the window
# with a long failure and the longest countdown are left in the current folder,
# and one of the screen at a failure.
set -euo pipefail

program=$(realpath "$1")
template=$(dirname "$program")/dbBlank.mdb
modules=$(dirname "$program")/modules
core=$(dirname "$program")/core
title="Tidewell Episode Keeper"
class="tidewell-episode-keeper"
shots=$PWD
rm -f "$shots/window-lifecycle-failure.png"

for tool in Xvfb openbox trayer xdotool xprop xwininfo import sqlite3 dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh"; exit 1; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "missing python3-pyatspi: run scripts/install-deps.sh"; exit 1; }
here=$(dirname "$(realpath "$0")")

# A home of the test's own, and no desktop session to borrow from: without a
# session bus Qt puts its icon into the XEMBED tray below.
work=$(mktemp -d)
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_STATE_HOME=$HOME/.local/state XDG_RUNTIME_DIR=$work/runtime
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
export QT_QPA_PLATFORM=xcb
# Leaks are for the unit tests to find; here the exit statuses must be the
# program's own, not the leak checker's, in a sanitizer build.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
unset SESSION_MANAGER QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
mkdir -m 700 "$XDG_RUNTIME_DIR"
data="$XDG_DATA_HOME/Marrowby/Tidewell Episode Keeper"

started=()
app=""
# Last started, first stopped: the program before the tray, the X server last.
cleanup() {
    local i
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        kill "${started[i]}" 2>/dev/null || true
        wait "${started[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s%3N; }

fail() {
    echo "FAILED: $*"
    import -window root "$shots/window-lifecycle-failure.png" 2>/dev/null &&
        echo "the screen at the failure: $shots/window-lifecycle-failure.png"
    echo "windows of the program:"
    for w in $(windows_of "$app"); do
        echo "  $w \"$(name_of "$w")\" $(xw "$w" | awk '/Map State/{print $3}') $(wm_state "$w")"
    done
    local log
    for log in program openbox trayer xvfb; do
        [ -s "$work/$log.log" ] && echo "$log said:" && sed 's/^/  /' "$work/$log.log"
    done
    exit 1
}

# Polls until the command succeeds; fails the test after `seconds`.
within() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$(($(now) + seconds * 1000))
    until "$@"; do
        (($(now) < deadline)) || fail "$what (waited ${seconds}s)"
        sleep 0.1
    done
}

# Fails the test as soon as the command fails during `seconds`.
throughout() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$(($(now) + seconds * 1000))
    while (($(now) < deadline)); do
        "$@" || fail "$what"
        sleep 0.1
    done
}

# ---- What the X server says -------------------------------------------------

# xprop and xwininfo without a window wait for the user to click one.
xp() { [ -n "$1" ] && xprop -id "$@" 2>/dev/null; }
xw() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null; }
windows_of() { [ -n "$1" ] && xdotool search --all --pid "$1" --class "^$class\$" 2>/dev/null || true; }
name_of() { xp "$1" -notype _NET_WM_NAME | sed -n 's/^[^"]*"\(.*\)"$/\1/p'; }
type_of() { xp "$1" -notype _NET_WM_WINDOW_TYPE | sed 's/^[^=]*= //'; }
wm_state() { xp "$1" WM_STATE | awk '/window state/{print $3}'; }
net_state() { xp "$1" -notype _NET_WM_STATE; }
viewable() { xw "$1" | grep -q "Map State: IsViewable"; }
# Absolute x, y, width and height.
geometry() {
    xw "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                   /^ *Width/{w=$2} /^ *Height/{h=$2} END{print x, y, w, h}'
}
# Left, right, top and bottom of the window manager's frame.
frame_of() { xp "$1" -notype _NET_FRAME_EXTENTS | sed 's/^[^=]*= //; s/,//g'; }
managed() { xprop -root -notype _NET_CLIENT_LIST | grep -qiw "$(printf '0x%x' "$1")"; }
stacking_position() {
    xprop -root -notype _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //' | tr ',' '\n' |
        awk -v w="$(printf '0x%x' "$1")" '{ if (tolower($1) == w) print NR }'
}

# The program's windows by what they are. The main window and the dialogs
# are ordinary windows; the tray icon is embedded by trayer; a balloon is a
# large tooltip (a small one is the icon's own tip).
ordinary() { case "$(type_of "$1")" in _NET_WM_WINDOW_TYPE_NORMAL | _NET_WM_WINDOW_TYPE_DIALOG*) ;; *) return 1 ;; esac; }
windows_named() {
    local w
    for w in $(windows_of "$2"); do
        [ "$(name_of "$w")" = "$1" ] && ordinary "$w" && echo "$w"
    done
    return 0
}
main_window() { windows_named "$title" "$app" | head -n 1; }
dialogs_named() { windows_named "$1" "${2:-$app}" | while read -r w; do viewable "$w" && echo "$w"; done; return 0; }
count_dialogs() { dialogs_named "$@" | wc -l; }
tray_icon() {
    local w
    for w in $(windows_of "$app"); do
        case "$(type_of "$w")" in *TOOLTIP*) ;; *OVERRIDE*) viewable "$w" && echo "$w" && return 0 ;; esac
    done
    return 1
}
balloons() {
    local w width
    for w in $(windows_of "$app"); do
        case "$(type_of "$w")" in
        *TOOLTIP*)
            # A window may go between the listing and the look at its size.
            width=$(geometry "$w" | cut -d' ' -f3)
            viewable "$w" && [ -n "$width" ] && ((width >= 200)) && echo "$w" ;;
        esac
    done
    return 0
}

# ---- Conditions -------------------------------------------------------------

main_shown() { local w; w=$(main_window) && [ -n "$w" ] && viewable "$w" && [ "$(wm_state "$w")" = Normal ]; }
# Hidden into the tray: not on screen, and not minimised in the task bar
# either (the window manager does not manage it at all).
main_in_tray() {
    local w
    for w in $(windows_named "$title" "$app"); do
        ! viewable "$w" && ! managed "$w" && [ "$(wm_state "$w")" != Iconic ] || return 1
    done
    return 0
}
main_maximised() {
    local w
    w=$(main_window) && viewable "$w" && net_state "$w" | grep -q MAXIMIZED_VERT && net_state "$w" | grep -q MAXIMIZED_HORZ
}
has_icon() { tray_icon >/dev/null; }
has_balloon() { [ -n "$(balloons)" ]; }
no_balloon() { ! has_balloon; }
no_dialog_named() { [ "$(count_dialogs "$1")" -eq 0 ]; }
one_dialog_named() { [ "$(count_dialogs "$1")" -eq 1 ]; }
# The window with its frame lies within the screen.
on_screen() {
    local x y w h l r t b
    read -r x y w h < <(geometry "$1")
    read -r l r t b < <(frame_of "$1")
    ((x - l >= 0 && y - t >= 0 && x + w + r <= screen_w && y + h + b <= screen_h))
}
main_on_screen() { local w; w=$(main_window) && on_screen "$w"; }
above() { (($(stacking_position "$1") > $(stacking_position "$2"))); }
active_window() { xprop -root -notype _NET_ACTIVE_WINDOW | sed -n 's/^.*# \(0x[0-9a-f]*\).*$/\1/p'; }
is_active() { (($(active_window) == $1)); }
iconic() { [ "$(wm_state "$1")" = Iconic ] || ! viewable "$1"; }
editor_back_on_top() {
    local editor main
    editor=$(dialogs_named "Add / Remove Feeds" | head -n 1) && [ -n "$editor" ] && main=$(main_window) &&
        [ "$(wm_state "$editor")" = Normal ] && above "$editor" "$main"
}

# ---- Acting as the user -----------------------------------------------------

click_at() { xdotool mousemove "$1" "$2" click 1; }
click_icon() {
    local icon x y w h
    icon=$(tray_icon) || fail "there is no icon in the notification area to click"
    read -r x y w h < <(geometry "$icon")
    click_at $((x + w / 2)) $((y + h / 2))
    # Off the icon again, so that its tip does not open.
    xdotool mousemove $((screen_w / 2)) 10
}
# A window manager may refuse to activate a window, and --sync would then
# wait for ever.
activate() {
    timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 ||
        timeout 5 xdotool windowfocus --sync "$1" >/dev/null 2>&1 || fail "window $1 cannot be given the focus"
}
press() { xdotool key --delay 60 "$@"; }

# A home with two feeds and the given settings ("Minimized=On"); scheduling
# is on, as it is for everyone who never turned it off.
make_home() {
    rm -rf "$HOME"
    mkdir -p "$XDG_CONFIG_HOME" "$data" "$HOME/Desktop"
    cp "$template" "$data/dbData.mdb"
    chmod u+w "$data/dbData.mdb"
    sqlite3 "$data/dbData.mdb" \
        "insert into rss values ('News', 60, 'news.mp3', '$HOME/Desktop/', 'http://127.0.0.1:9/news.xml', 1);
         insert into rss values ('Weather', 120, 'weather.mp3', '$HOME/Desktop/', 'http://127.0.0.1:9/w.xml', 1);"
    { echo "[Tidewell%20Episode%20Keeper]"; printf '%s\n' "$@"; } >"$XDG_CONFIG_HOME/Marrowby.conf"
}

start_program() {
    env "$@" "$program" >>"$work/program.log" 2>&1 &
    app=$!
    started+=("$app")
}

stop_program() {
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
}

# ---- The desktop ------------------------------------------------------------

# Xvfb picks a free display number itself, so runs side by side never meet.
# Without -noreset it starts afresh whenever its last client leaves, and a
# client that connects meanwhile (openbox, after our first queries) fails.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
started+=($!)
within 10 "the X server starts" test -s "$work/display"
export DISPLAY=:$(cat "$work/display")
unset XAUTHORITY WAYLAND_DISPLAY
within 10 "the X server answers" sh -c 'xwininfo -root >/dev/null 2>&1'
read -r screen_w screen_h < <(xwininfo -root | awk '/^ *Width/{w=$2} /^ *Height/{h=$2} END{print w, h}')
openbox >"$work/openbox.log" 2>&1 &
started+=($!)
within 10 "openbox manages the screen" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 24 \
    --SetDockType true --transparent false >"$work/trayer.log" 2>&1 &
started+=($!)
within 10 "trayer's notification area appears" sh -c \
    'w=$(xdotool search --classname "^panel$" | head -n 1) && [ -n "$w" ] && xwininfo -id "$w" | grep -q IsViewable'

# ---- The window opened as usual: keyboard, titles, messages, the editor -----

echo "window and editor"
make_home
start_program
within 10 "the window opens" main_shown
within 10 "the icon appears in the notification area" has_icon
within 5 "the window lies on the screen" main_on_screen
main=$(main_window)
activate "$main"
press Tab Return
within 5 "Enter on the focused \"Add / Remove Feeds\" opens the editor titled exactly \"Add / Remove Feeds\"" \
    one_dialog_named "Add / Remove Feeds"
editor=$(dialogs_named "Add / Remove Feeds")
within 5 "the editor lies on the screen" on_screen "$editor"

# A non-number in the minute field, then Save Changes with the mouse.
press Tab ctrl+a x
read -r x y w h < <(geometry "$editor")
click_at $((x + w / 2)) $((y + h - 26))
within 5 "Save Changes with a non-number shows the message titled exactly \"Tidewell Episode\"" \
    one_dialog_named "Tidewell Episode"
throughout 2 "\"Must be a numeric entry.\" shows once" one_dialog_named "Tidewell Episode"
activate "$(dialogs_named "Tidewell Episode")"
press Return
within 5 "the message closes" no_dialog_named "Tidewell Episode"

# Minimised with the editor open, the window goes to the tray; the icon
# brings back both, the editor on top.
xdotool windowminimize "$main"
within 5 "minimised with the editor open, the window goes into the tray" main_in_tray
click_icon
within 5 "a click on the icon brings the window back" main_shown
within 5 "the editor comes back on top of the window" editor_back_on_top

# The editor minimised on its own leaves the window in view but blocked by
# it; the icon brings the editor back, active.
xdotool windowminimize "$editor"
within 5 "the editor minimises" iconic "$editor"
click_icon
within 5 "a click on the icon brings the editor minimised on its own back" editor_back_on_top
within 5 "the editor brought back is the active window" is_active "$editor"

# Enter on a focused button presses it: from the minute field to Close.
activate "$editor"
press ctrl+a 5 Tab Tab Tab Tab Tab Tab Tab Return
within 5 "Enter on the focused Close button closes the editor" no_dialog_named "Add / Remove Feeds"

# A maximised window in view stays as it is when the icon is clicked.
main=$(main_window)
read -r x y w h < <(geometry "$main")
read -r l r t b < <(frame_of "$main")
xdotool mousemove $((x + w / 2)) $((y - t / 2)) click --repeat 2 --delay 120 1
within 5 "a double click on the title bar maximises the window" main_maximised
click_icon
throughout 2 "a click on the icon leaves the maximised window as it is" main_maximised
stop_program

# ---- Layout: a long failure, a message, the longest countdown ---------------

echo "layout"
make_home
long_name="A feed with a name far longer than the window is wide, as some podcasts name themselves"
sqlite3 "$data/dbData.mdb" "delete from rss;
    insert into rss values ('$long_name', 5, 'long.mp3', '$HOME/Desktop/', 'http://127.0.0.1:9/long.xml', 1);
    insert into rss values ('Longest', 32767, 'longest.mp3', '$HOME/Desktop/', 'http://127.0.0.1:9/y.xml', 1);"
start_program
within 10 "the window opens" main_shown
main=$(main_window)
read -r x y width h < <(geometry "$main")
activate "$main"
# "Start Downloading Selected" on the first feed, which cannot be fetched.
press Tab Tab Return
within 10 "the download's message shows" one_dialog_named "Tidewell Episode"
box=$(dialogs_named "Tidewell Episode")
read -r x y w h < <(geometry "$box")
# The title in the window manager's font, with the icon and buttons beside it.
((w >= 200)) || fail "the message box is ${w} pixels wide, too narrow for its title"
import -window root "$shots/window-lifecycle-message.png"
activate "$box"
press Return
within 5 "the message closes" no_dialog_named "Tidewell Episode"
read -r x y w h < <(geometry "$main")
((w == width)) || fail "the failure in the status line made the window ${w} pixels wide, not ${width}"
import -window root "$shots/window-lifecycle-layout.png"
stop_program

# ---- Start in the tray with feeds and scheduling on --------------------------

echo "start in the tray"
make_home "Minimized=On"
start_program
seen=$work/balloons
: >"$seen"
# A look that finds no balloon (its last window gone or hidden) fails; the
# watcher goes on.
(while sleep 0.1; do balloons >>"$seen" || true; done) &
started+=($!)
watcher=$!
within 10 "the icon appears in the notification area" has_icon
within 8 "the balloon shows at a start in the tray" has_balloon
import -window root "$shots/window-lifecycle-start-in-tray.png"
read -r bx by bw bh < <(geometry "$(balloons | head -n 1)")
read -r ix iy iw ih < <(geometry "$(tray_icon)")
cx=$((ix + iw / 2)) cy=$((iy + ih / 2))
dx=$((cx < bx ? bx - cx : (cx > bx + bw ? cx - bx - bw : 0)))
dy=$((cy < by ? by - cy : (cy > by + bh ? cy - by - bh : 0)))
((dx <= 40 && dy <= 40)) || fail "the balloon at ${bx},${by} (${bw}x${bh}) does not point at the icon at ${cx},${cy}"
within 10 "the balloon closes by itself" no_balloon
throughout 1 "a start in the tray leaves the window in the tray, not on screen or minimised in the task bar" \
    main_in_tray

click_icon
within 5 "the first click on the icon after a start in the tray brings the window back" main_shown
for round in 1 2 3 4 5; do
    xdotool windowminimize "$(main_window)"
    within 5 "minimised (round $round), the window goes into the tray" main_in_tray
    click_icon
    within 5 "a click on the icon brings the window back (round $round)" main_shown
done
kill "$watcher" 2>/dev/null || true
shown=$(sort -u "$seen" | grep -c . || true)
[ "$shown" -eq 1 ] || fail "the balloon showed $shown times in one run, not once"
stop_program

# The first click after a start in the tray, start after start.
for start in 1 2 3 4; do
    start_program
    within 10 "the icon appears (start $start)" has_icon
    main_in_tray || fail "start $start in the tray leaves the window on screen or in the task bar"
    click_icon
    within 5 "the first click after start $start in the tray brings the window back" main_shown
    stop_program
done

# ---- One running copy --------------------------------------------------------

echo "one running copy"
make_home "Minimized=On"
start_program
within 10 "the icon appears in the notification area" has_icon
within 5 "the window is in the tray" main_in_tray
second=0
timeout 30 "$program" >>"$work/program.log" 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "a second start ended with status $second, not 0"
within 5 "a second start brings the window in the tray forward" main_shown
windows=0
for w in $(xdotool search --class "^$class\$" 2>/dev/null); do
    if [ "$(name_of "$w")" = "$title" ] && ordinary "$w" && viewable "$w"; then windows=$((windows + 1)); fi
done
[ "$windows" -eq 1 ] || fail "$windows main windows after a second start, not one"

# The service started beside the window waits, idle, and takes the schedule
# when the window closes.
"$program" --headless >"$work/headless.out" 2>"$work/headless.err" &
scheduler=$!
started+=("$scheduler")
says() { grep -q "$1" "$work/headless.err"; }
within 10 "--headless beside the window says it waits" says "waits until it closes"
kill -0 "$scheduler" 2>/dev/null || fail "--headless beside the window ended: $(cat "$work/headless.err")"
[ "$("$program" --list | wc -l)" -eq 2 ] || fail "--list beside the window did not list the two feeds"
second=0
"$program" --headless >/dev/null 2>"$work/second.err" || second=$?
[ "$second" -eq 3 ] || fail "a second --headless ended with status $second, not 3: $(cat "$work/second.err")"
lock_holder() { head -n 1 "$data/scheduler.lock" 2>/dev/null; }
scheduling() { [ "$(lock_holder)" = "$scheduler" ]; }
stop_program
within 5 "the waiting service takes the schedule once the window has gone" scheduling

# A window started beside the service asks it for the schedule and opens; the
# service waits until the window closes, then goes on.
start_program
within 10 "a window started beside the service opens (into the tray, as set)" main_in_tray
within 10 "the service hands the schedule to the window" says "took over the schedule"
windows_schedule() { [ "$(lock_holder)" = "$app" ]; }
within 5 "the window holds the schedule" windows_schedule
stop_program
within 5 "the service takes the schedule back when the window closes" scheduling
kill "$scheduler"
wait "$scheduler" || fail "the headless scheduler did not end cleanly"

# ---- The error report, and a cursor file that is no cursor -------------------

echo "error report"
make_home
mkdir -p "$work/program"
cp -r "$program" "$template" "$modules" "$core" "$work/program/"
echo "not a cursor" >"$work/program/HAND-M.CUR"
program=$work/program/$(basename "$program") start_program
within 10 "an unreadable HAND-M.CUR is reported in a box titled exactly \"Application Error\"" \
    one_dialog_named "Application Error"
activate "$(dialogs_named "Application Error")"
press Return
within 5 "the start goes on after the report" main_shown
stop_program

# ---- A small, scaled screen --------------------------------------------------

echo "scaled screen"
make_home
start_program QT_SCALE_FACTOR=2
within 10 "the window opens at scale 2" main_shown
within 5 "at scale 2 the window lies on the screen" main_on_screen
activate "$(main_window)"
press Tab Return
within 5 "the editor opens at scale 2" one_dialog_named "Add / Remove Feeds"
within 5 "at scale 2 the editor lies on the screen" on_screen "$(dialogs_named "Add / Remove Feeds")"
stop_program

# ---- What a screen reader is told ------------------------------------------

# Read over AT-SPI, as a screen reader reads it, with both windows open. The
# accessibility bus needs a session bus; the notification area stays the
# XEMBED one, as no desktop on this bus offers another.
echo "accessibility"
make_home
dbus-daemon --session --address="unix:path=$work/bus" --nofork >"$work/bus.log" 2>&1 &
started+=($!)
bus=$!
within 5 "the session bus starts" test -S "$work/bus"
start_program DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
within 10 "the window opens" main_shown
activate "$(main_window)"
press Tab Return
within 5 "the editor opens" one_dialog_named "Add / Remove Feeds"
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" timeout 60 /usr/bin/python3 "$here/accessible-names.py" \
    >"$work/accessible.txt" 2>&1 || fail "what a screen reader is told: $(cat "$work/accessible.txt")"
stop_program
kill "$bus"
wait "$bus" 2>/dev/null || true
# The accessibility bus and its registry end with the session bus.
leftovers() { pgrep -f "$work" || true; }
within 5 "the accessibility bus ends with the session bus" test -z "$(leftovers)"

echo "window lifecycle: all checks passed"
