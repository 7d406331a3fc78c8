#!/usr/bin/env bash
# End to end under Xvfb: a first copy of Velmora on a real X display with auto-run
# on, and a later copy started with three torrents. Every loaded entry hands its
# magnet link to the desktop through xdg-open, and a stand-in xdg-open first on
# PATH records "<pid> <link>"; read in the order of the process ids (the order of
# the calls), the three links must be those of the three files, in their order.
# Then: a box up in the running window does not hold up later starts; and a later
# start while the running window is closing (its "Unable to write" box up) loses
# nothing: once that copy has ended, the later start opens its file itself.
#
#   bash tests/e2e/handoff.sh [PATH_TO_VELMORA]     (default: build/velmora)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$here/build/velmora}
[ -x "$program" ] || { echo "handoff.sh: $program is not built" >&2; exit 2; }
. "$here/tools/lib.sh"

velmora_on_own_display 1280x1024x24 "$0" "$program"

box=$(velmora_box e2e)
first_pid=
later_pid=
cleanup() {
  velmora_stop "$later_pid"
  velmora_stop "$first_pid"
  rm -rf "$box"
}
trap cleanup EXIT

velmora_sandbox "$box"
velmora_app "$box" "$program" 1
mkdir -p "$box/bin" "$box/data/later"
log=$box/xdg-open.log
printf '#!/bin/sh\necho "$$ $1" >> "%s"\n' "$log" > "$box/bin/xdg-open"
chmod 755 "$box/bin/xdg-open"

# Three torrents; the expected link, which bencode.py prints, is the SHA-1 of each
# one's info dictionary.
torrents=()
for n in 1 2 3 4 5; do
  torrents+=("$box/data/later/torrent $n.torrent" "Файл номер $n" $((n * 1000)) "piece-bytes-of-no.0$n")
done
links=$(python3 "$here/tools/bencode.py" single "${torrents[@]}")
mapfile -t expected <<<"$links"

export PATH=$box/bin:$PATH
unset QT_QPA_PLATFORM
cd "$box/data"
"$box/app/velmora" 2>"$box/first.log" &
first_pid=$!
if ! velmora_wait_listening "$first_pid"; then
  cat "$box/first.log" >&2
  if kill -0 "$first_pid" 2>/dev/null; then
    echo "handoff.sh: the first copy does not listen" >&2
  else
    echo "handoff.sh: the first copy ended" >&2
  fi
  exit 1
fi

# The later copy, from another folder with relative names, must not start the
# window system: a platform that does not exist would make it fail.
(cd later && QT_QPA_PLATFORM=no-window-system-in-a-later-copy \
   "$box/app/velmora" "torrent 1.torrent" "torrent 2.torrent" "torrent 3.torrent") ||
  { echo "handoff.sh: the later copy failed with exit code $?" >&2; exit 1; }

for _ in $(seq 200); do
  [ -f "$log" ] && [ "$(wc -l < "$log")" -ge 3 ] && break
  sleep 0.05
done
sleep 0.3
# Process ids may have wrapped round during the run.
mapfile -t got < <(awk '{ pid[NR] = $1; link[NR] = $2 }
  END {
    lo = hi = pid[1]
    for (i = 1; i <= NR; i++) { if (pid[i] < lo) lo = pid[i]; if (pid[i] > hi) hi = pid[i] }
    for (i = 1; i <= NR; i++) { p = pid[i]; if (hi - lo > 16384 && p < 16384) p += 4194304; print p, link[i] }
  }' "$log" 2>/dev/null | sort -n | cut -d' ' -f2-)
if [ "${got[*]-}" != "${expected[*]:0:3}" ]; then
  echo "handoff.sh: expected the links" >&2; printf '  %s\n' "${expected[@]}" >&2
  echo "got" >&2; printf '  %s\n' "${got[@]-}" >&2
  cat "$box/first.log" >&2
  exit 1
fi
kill -0 "$first_pid" 2>/dev/null || { echo "handoff.sh: the first copy ended" >&2; exit 1; }
echo "handoff.sh: the later copy's three links arrived in order"

fail() { echo "handoff.sh: $*" >&2; cat "$box/first.log" >&2; exit 1; }
# The windows named exactly Velmora (the main window, and the boxes, which bear the
# program's title) that are on screen, oldest first (a client's window ids grow).
velmora_windows() { xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null | sort -n || true; }
wait_windows() { # <count>
  for _ in $(seq 100); do [ "$(velmora_windows | wc -l)" -ge "$1" ] && return 0; sleep 0.1; done
  fail "expected $1 windows named Velmora, found $(velmora_windows | wc -l)"
}
# Closes the newest box with Enter.
close_box() {
  local wid
  wid=$(velmora_windows | tail -n1)
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  sleep 0.3
  xdotool key Return
}
links_in_log() { [ -f "$log" ] && grep -c . "$log" || echo 0; }

# A file that is no torrent puts a box up in the running window. The later start
# that handed it over ends at once, and so does the next one, whose file loads once
# the box has gone.
printf 'no torrent at all' > "$box/data/later/bad.torrent"
(cd later && QT_QPA_PLATFORM=no-window-system-in-a-later-copy timeout 20 "$box/app/velmora" bad.torrent) ||
  fail "a later start with a file that is no torrent failed or waited (exit code $?)"
wait_windows 2
(cd later && QT_QPA_PLATFORM=no-window-system-in-a-later-copy timeout 20 "$box/app/velmora" "torrent 4.torrent") ||
  fail "a later start waited for the box in the running window (exit code $?)"
close_box
for _ in $(seq 100); do grep -qF "${expected[3]}" "$log" 2>/dev/null && break; sleep 0.1; done
grep -qF "${expected[3]}" "$log" || fail "the file handed over while the box was up never loaded"
echo "handoff.sh: a box in the running window held up no later start"

# The running window closes, and the setting cannot be written (its file is a
# folder): "Unable to write" stays up. A later start meanwhile must not report
# success for a file that is never loaded: it waits until the closing copy has
# ended, then opens its file in a window of its own (with auto-run, from its own
# settings beside it).
velmora_stop "$first_pid"
first_pid=
mkdir -p "$box/app1/fls/sets.ini"
cp "$box/app/velmora" "$box/app1/velmora"
"$box/app1/velmora" 2>"$box/first.log" &
first_pid=$!
velmora_wait_listening "$first_pid" || fail "the closing copy does not listen"
wait_windows 1
main=$(velmora_windows | tail -n1)
xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
sleep 0.3
xdotool key ctrl+q
wait_windows 2
before=$(links_in_log)
(cd later && exec "$box/app/velmora" "torrent 5.torrent") 2>"$box/later.log" &
later_pid=$!
sleep 2
if ! kill -0 "$later_pid" 2>/dev/null; then
  wait "$later_pid" && status=0 || status=$?
  cat "$box/later.log" >&2
  [ "$status" -ne 0 ] || fail "a later start while the window was closing ended with 0, its file not loaded"
  echo "handoff.sh: a later start while the window was closing said it could not hand over (exit $status)"
else
  close_box
  for _ in $(seq 100); do kill -0 "$first_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$first_pid" 2>/dev/null && fail "the closing copy did not end after its box"
  for _ in $(seq 200); do grep -qF "${expected[4]}" "$log" 2>/dev/null && break; sleep 0.1; done
  grep -qF "${expected[4]}" "$log" || { cat "$box/later.log" >&2; fail "the later start's file was lost"; }
  [ "$(links_in_log)" -eq $((before + 1)) ] || fail "expected one more link, the log holds: $(cat "$log")"
  velmora_stop "$later_pid"
  echo "handoff.sh: a later start while the window was closing opened its file once that copy had ended"
fi
