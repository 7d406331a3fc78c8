#!/usr/bin/env bash
# End to end under Xvfb: a first copy of Velmora on a real X display with auto-run
# on, and a later copy started with three torrents. Every loaded entry hands its
# magnet link to the desktop through xdg-open, and a stand-in xdg-open first on
# PATH records "<pid> <link>"; read in the order of the process ids (the order of
# the calls), the three links must be those of the three files, in their order.
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
cleanup() {
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
for n in 1 2 3; do
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
if [ "${got[*]-}" != "${expected[*]}" ]; then
  echo "handoff.sh: expected the links" >&2; printf '  %s\n' "${expected[@]}" >&2
  echo "got" >&2; printf '  %s\n' "${got[@]-}" >&2
  cat "$box/first.log" >&2
  exit 1
fi
kill -0 "$first_pid" 2>/dev/null || { echo "handoff.sh: the first copy ended" >&2; exit 1; }
echo "handoff.sh: the later copy's three links arrived in order"
