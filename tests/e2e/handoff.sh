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

if [ -z "${VELMORA_E2E_IN_XVFB:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "handoff.sh: xvfb-run is missing" >&2; exit 2; }
  export VELMORA_E2E_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$program"
fi

box=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")
first_pid=
cleanup() {
  if [ -n "$first_pid" ]; then kill "$first_pid" 2>/dev/null || true; wait "$first_pid" 2>/dev/null || true; fi
  rm -rf "$box"
}
trap cleanup EXIT

mkdir -p "$box/app/fls" "$box/bin" "$box/data/later" "$box/run"
chmod 700 "$box/run"
cp "$program" "$box/app/velmora"
printf '[USER]\r\nAutoStart=1\r\n' > "$box/app/fls/sets.ini"
log=$box/xdg-open.log
printf '#!/bin/sh\necho "$$ $1" >> "%s"\n' "$log" > "$box/bin/xdg-open"
chmod 755 "$box/bin/xdg-open"

# Three torrents; the expected link is the SHA-1 of each one's info dictionary.
expected=()
for n in 1 2 3; do
  name="Файл номер $n"
  len=$(printf '%s' "$name" | wc -c)
  info="d6:lengthi$((n * 1000))e4:name$len:${name}12:piece lengthi16384e6:pieces20:piece-bytes-of-no.0$n""e"
  printf 'd8:announce31:http://tracker.example/announce4:info%se' "$info" > "$box/data/later/torrent $n.torrent"
  expected+=("magnet:?xt=urn:btih:$(printf '%s' "$info" | sha1sum | cut -d' ' -f1)")
done

export XDG_RUNTIME_DIR=$box/run
export PATH=$box/bin:$PATH
unset QT_QPA_PLATFORM
cd "$box/data"
"$box/app/velmora" 2>"$box/first.log" &
first_pid=$!
for _ in $(seq 300); do
  [ -S "$box/run/TfrmKTZ-Velmora" ] && break
  kill -0 "$first_pid" 2>/dev/null || { cat "$box/first.log" >&2; echo "handoff.sh: the first copy ended" >&2; exit 1; }
  sleep 0.05
done
[ -S "$box/run/TfrmKTZ-Velmora" ] || { echo "handoff.sh: the first copy does not listen" >&2; exit 1; }

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
