#!/usr/bin/env bash
# End to end under Xvfb with the keyboard only (xdotool, no mouse event): open three
# files through the open dialog, move in the list, copy, run with a stand-in
# xdg-open that has no program for the link (exit 3), look at the contents and
# close them with Escape, save the list and the page, show About, select all, copy
# the three links, delete them, leave with Ctrl+Q; the setting must be written.
# Then a start without Qt's translations must still show the window.
#
#   bash tests/e2e/keyboard.sh [PATH_TO_VELMORA]     (default: build/velmora)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$here/build/velmora}
[ -x "$program" ] || { echo "keyboard.sh: $program is not built" >&2; exit 2; }
command -v xdotool >/dev/null || { echo "keyboard.sh: xdotool is missing" >&2; exit 2; }

. "$here/tools/lib.sh"

velmora_on_own_display 1280x1024x24 "$0" "$program"

box=$(mktemp -d "${TMPDIR:-/tmp}/velmora-keys.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$box"
}
trap cleanup EXIT
fail() { echo "keyboard.sh: $*" >&2; [ -f "$box/velmora.log" ] && cat "$box/velmora.log" >&2; exit 1; }

mkdir -p "$box/app/fls" "$box/bin" "$box/data" "$box/run"
chmod 700 "$box/run"
cp "$program" "$box/app/velmora"
cp "$here"/fls/*.tpl "$box/app/fls/"
printf '[USER]\r\nAutoStart=1\r\n' > "$box/app/fls/sets.ini"
printf '#!/bin/sh\necho "$1" >> "%s"\nexit 3\n' "$box/opened.log" > "$box/bin/xdg-open"
chmod 755 "$box/bin/xdg-open"

links=()
for n in a b c; do
  info="d6:lengthi1000e4:name1:${n}12:piece lengthi16384e6:pieces20:piece-bytes-of-no.0${n}e"
  printf 'd8:announce31:http://tracker.example/announce4:info%se' "$info" > "$box/data/$n.torrent"
  links+=("magnet:?xt=urn:btih:$(printf '%s' "$info" | sha1sum | cut -d' ' -f1)")
done

export XDG_RUNTIME_DIR=$box/run PATH=$box/bin:$PATH
# The window in its own language, Russian, whatever the caller's desktop speaks.
export LANG=C.UTF-8
unset LANGUAGE LC_ALL LC_MESSAGES
unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME
cd "$box/data"

# The window named $1 that is not one of those already known; focused.
window() {
  local wid
  for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "no window named '$1'"
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  sleep 0.3
  echo "$wid"
}
keys() { xdotool key --delay 80 "$@"; sleep 0.4; }
typed() { xdotool type --delay 40 "$1"; sleep 0.3; }
gone() {
  for _ in $(seq 50); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done
  fail "the window '$1' stays open"
}

"$box/app/velmora" 2>"$box/velmora.log" &
pid=$!
main=$(window '^Velmora$')
# The auto-run setting is on: switch it off with the keyboard (Tab to the check box).
keys Tab space

# Open the two files; the dialog's caption is Qt's, in Russian.
keys ctrl+o
dialog=$(window 'Открыть|Open')
title=$(xdotool getwindowname "$dialog")
case "$title" in *Открыть*) ;; *) fail "the open dialog speaks no Russian: '$title'" ;; esac
typed '"a.torrent" "b.torrent" "c.torrent"'
keys Return
gone "$title"
xdotool windowfocus --sync "$main" 2>/dev/null || true

# To the list, the second entry, copy, run.
keys shift+Tab Home Down ctrl+c Return
for _ in $(seq 50); do [ -s "$box/opened.log" ] && break; sleep 0.1; done
[ "$(cat "$box/opened.log" 2>/dev/null)" = "${links[1]}" ] ||
  fail "Return handed '$(cat "$box/opened.log" 2>/dev/null)' instead of ${links[1]}"
if command -v xclip >/dev/null; then
  [ "$(xclip -o -selection clipboard)" = "${links[1]}" ] || fail "Ctrl+C copied '$(xclip -o -selection clipboard)'"
fi

# The contents of the current entry with its shortcut, closed with Escape.
keys ctrl+i
window '^Содержимое: b\.torrent$' >/dev/null
keys Escape
gone '^Содержимое'
xdotool windowfocus --sync "$main" 2>/dev/null || true

# Save as list: a name without extension gets .txt.
keys ctrl+s
window 'Сохранить|Save' >/dev/null
typed links
keys Return
for _ in $(seq 30); do [ -f links.txt ] && break; sleep 0.1; done
[ "$(printf '%s\r\n' "${links[@]}")" = "$(cat links.txt)" ] || fail "links.txt holds '$(cat links.txt 2>/dev/null)'"

# Save as HTML: the name dialog (Tab to Отмена, to OK, Space), then a name without
# extension gets .html.
xdotool windowfocus --sync "$main" 2>/dev/null || true
keys ctrl+shift+s
window 'Имя экспорта' >/dev/null
typed Mine
keys Tab Tab space
window 'Сохранить|Save' >/dev/null
typed page
keys Return
for _ in $(seq 30); do [ -f page.html ] && break; sleep 0.1; done
[ -f page.html ] || fail "no page.html: $(ls)"
grep -q "${links[0]}" page.html && grep -q "${links[1]}" page.html && grep -q Mine page.html ||
  fail "page.html lacks the links or the name"

# About, closed with Enter; then leave.
xdotool windowfocus --sync "$main" 2>/dev/null || true
keys F1
window 'О программе' >/dev/null
keys Return
gone 'О программе'
xdotool windowfocus --sync "$main" 2>/dev/null || true

# Every entry at once: Ctrl+A, Ctrl+C copies the three links one per line, Delete
# empties the list (a list saved then is empty).
keys ctrl+a ctrl+c
if command -v xclip >/dev/null; then
  [ "$(xclip -o -selection clipboard)" = "$(printf '%s\n%s\n%s' "${links[@]}")" ] ||
    fail "Ctrl+A, Ctrl+C copied '$(xclip -o -selection clipboard)'"
fi
keys Delete
keys ctrl+s
window 'Сохранить|Save' >/dev/null
typed emptied
keys Return
for _ in $(seq 30); do [ -f emptied.txt ] && break; sleep 0.1; done
[ -f emptied.txt ] && [ ! -s emptied.txt ] || fail "after Delete the list still held '$(cat emptied.txt 2>/dev/null)'"
xdotool windowfocus --sync "$main" 2>/dev/null || true
keys ctrl+q
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
wait "$pid" || fail "the program ended with an error"
pid=
grep -q 'AutoStart=0' "$box/app/fls/sets.ini" || fail "the setting was not written: $(cat "$box/app/fls/sets.ini")"

# Without Qt's translations the program still starts (and speaks English in Qt's parts).
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
printf '[Paths]\nPlugins=%s\nTranslations=%s/none\n' "$plugins" "$box" > "$box/app/qt.conf"
"$box/app/velmora" 2>"$box/velmora.log" &
pid=$!
main=$(window '^Velmora$')
keys ctrl+q
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" || fail "without translations the program ended with an error"
pid=
echo "keyboard.sh: opened, moved, copied, ran, saw the contents, saved both ways, About, selected all, copied three, deleted and Ctrl+Q, all from the keyboard"
