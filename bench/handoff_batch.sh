#!/usr/bin/env bash
# Many files into the running window: handed over by later copies of Velmora (as
# `xargs velmora` or a file manager's "open with" on a selection starts them)
# against opened in one go through the window's open path (as a drop or the open
# dialog brings them), for each count, side by side in one run, taking turns.
# Prints the wall time until the window holds every entry, the window's peak
# resident memory, whether the entries came in the list's order, and the ratio
# hand-off / open. Aim: at most 2 ×.
#
#   bash bench/handoff_batch.sh [BUILD_DIR] [COUNTS] [ROUNDS]
#                                       (defaults: build, "10000 100000", 1)
#
# With OTHER_VELMORA=path, the hand-off is also timed with an earlier build of the
# program as the running copy and its later copies, one that answers each text
# once it has loaded the file: until its last later copy ends. Only for counts up
# to OTHER_UP_TO (10000 unless told), since such a build takes minutes for more.
set -euo pipefail
counts=${2:-10000 100000}
rounds=${3:-1}
. "$(dirname "$0")/handoff_setup.sh" handoff_batch "${1:-}" bench/bench_handoff_batch
bench=$build/bench/bench_handoff_batch
export QT_QPA_PLATFORM=offscreen

# earlier_handoff <program> <list>: that build of the real program as the running
# copy (auto-run off), later copies by xargs; prints "<ms> <peak KiB>". A build
# that answers each text only once it has loaded the file has loaded them all when
# xargs ends.
earlier_handoff() {
  local program=$1 list=$2 t0 t1 peak
  rm -rf "$box/earlier" "${XDG_RUNTIME_DIR:?}"/*
  velmora_app "$box/earlier" "$program" 0
  "$box/earlier/app/velmora" 2>/dev/null &
  first_pid=$!
  velmora_wait_listening "$first_pid" 20 || { echo "handoff_batch: $program does not listen" >&2; exit 2; }
  t0=$(date +%s%N)
  QT_QPA_PLATFORM=no-window-system-in-a-later-copy xargs -a "$list" -d '\n' "$box/earlier/app/velmora"
  t1=$(date +%s%N)
  peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$first_pid/status")
  velmora_stop "$first_pid"
  first_pid=
  echo "$(((t1 - t0) / 1000000)) $peak"
}

row() { printf '%-34s %10s ms %9s KiB  order %s\n' "$1" "$2" "$3" "$4"; }

echo "Hand-off against open in one go (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
for count in $counts; do
  data=$box/data-$count
  mkdir -p "$data"
  "$bench" make "$count" "$data"
  list=$data/list
  xargs -a "$list" -d '\n' cat >/dev/null
  echo "$count files, $(du -sk "$data" | cut -f1) KiB; $(xargs -a "$list" -d '\n' echo | wc -l) later copies"
  for round in $(seq "$rounds"); do
    read -r open_ms open_peak open_n open_order < <("$bench" open "$list")
    rm -rf "${XDG_RUNTIME_DIR:?}"/*
    read -r hand_ms hand_peak hand_n hand_order later_peak xargs_ms < <("$bench" handoff "$list" "$program")
    [ "$open_n" -eq "$count" ] && [ "$hand_n" -eq "$count" ] ||
      { echo "handoff_batch: $open_n opened, $hand_n handed over of $count" >&2; exit 1; }
    row "open in one go" "$open_ms" "$open_peak" "$open_order"
    row "handed over by later copies" "$hand_ms" "$hand_peak" "$hand_order"
    echo "  (the last later copy ended after $xargs_ms ms)"
    awk -v h="$hand_ms" -v o="$open_ms" 'BEGIN { r = h / (o > 0 ? o : 1); printf "  hand-off / open: %.2f × (%s the aim of 2 ×)\n", r, r <= 2 ? "within" : "OVER" }'
    if [ -n "${OTHER_VELMORA:-}" ] && [ "$count" -le "${OTHER_UP_TO:-10000}" ]; then
      read -r other_ms other_peak < <(earlier_handoff "$OTHER_VELMORA" "$list")
      row "handed over to $OTHER_VELMORA" "$other_ms" "$other_peak" "-"
    fi
  done
done
