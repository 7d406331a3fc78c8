#!/usr/bin/env bash
# End to end as root under Xvfb: another local user has taken the name of the
# fallback folder in the temporary folder first (a folder of theirs, a symbolic
# link, a file, a folder open to all), and Velmora is started with XDG_RUNTIME_DIR
# unset, once as root and once as a third user. The temporary folder is one of the
# test's own, made as /tmp is (sticky, open to all), so that nothing else on the
# machine meets the other user's entries. Every time its window must appear and load the
# file named on its command line; with the cache folder unusable as well, it runs
# as a lone copy and still opens its window.
#
#   bash tests/e2e/second_user.sh [PATH_TO_VELMORA]     (as root; creates two users)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$here/build/velmora}
[ -x "$program" ] || { echo "second_user.sh: $program is not built" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "second_user.sh: must run as root (it creates users)" >&2; exit 2; }

. "$here/tools/lib.sh"

# -ac: the third user's copy may use the display too.
VELMORA_XVFB_OPTIONS=-ac velmora_on_own_display 1280x1024x24 "$0" "$program"

other=velmora-e2e-other
user=velmora-e2e-user
made_users=()
pid=
box=$(mktemp -d "${TMPDIR:-/tmp}/velmora-second-user.XXXXXX")
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$box"
  for u in "${made_users[@]}"; do userdel -r "$u" 2>/dev/null || true; done
}
trap cleanup EXIT
for u in "$other" "$user"; do
  if ! id "$u" >/dev/null 2>&1; then
    useradd --create-home --shell /bin/sh "$u"
    made_users+=("$u")
  fi
done
chmod 755 "$box"
tmp=$box/tmp
mkdir "$tmp"
chmod 1777 "$tmp"

# One torrent; its link is the SHA-1 of its info dictionary.
info='d6:lengthi1000e4:name8:a file 112:piece lengthi16384e6:pieces20:piece-bytes-of-no.01e'
printf 'd8:announce31:http://tracker.example/announce4:info%se' "$info" > "$box/one.torrent"
link="magnet:?xt=urn:btih:$(printf '%s' "$info" | sha1sum | cut -d' ' -f1)"
chmod 644 "$box/one.torrent"

# Puts a thing of that kind at Path, made by the other user.
spoil() {
  local kind=$1 path=$2
  rm -rf "$path"
  case $kind in
    folder) runuser -u "$other" -- mkdir -m 700 "$path" ;;
    link) runuser -u "$other" -- sh -c "mkdir -p -m 700 '$tmp/aim' && ln -s '$tmp/aim' '$path'" ;;
    file) runuser -u "$other" -- touch "$path" ;;
    open) runuser -u "$other" -- sh -c "mkdir '$path' && chmod 777 '$path'" ;;
  esac
}

# Starts Velmora as Who with the torrent and waits for its window and its link.
# Extra: further environment settings ("VAR=value").
run_case() {
  local who=$1 kind=$2 extra=$3
  local uid home sandbox
  uid=$(id -u "$who")
  sandbox=$box/$who-$kind
  home=$sandbox/home
  mkdir -p "$sandbox/app/fls" "$sandbox/bin" "$home"
  cp "$program" "$sandbox/app/velmora"
  printf '[USER]\r\nAutoStart=1\r\n' > "$sandbox/app/fls/sets.ini"
  printf '#!/bin/sh\necho "$1" >> "%s"\n' "$sandbox/xdg-open.log" > "$sandbox/bin/xdg-open"
  chmod 755 "$sandbox/bin/xdg-open"
  chown -R "$who" "$sandbox"
  spoil "$kind" "$tmp/velmora-$uid"

  local -a command=(env -u XDG_RUNTIME_DIR -u XDG_CACHE_HOME -u QT_QPA_PLATFORM
                    TMPDIR="$tmp" HOME="$home" PATH="$sandbox/bin:$PATH" DISPLAY="$DISPLAY")
  [ -n "$extra" ] && command+=("$extra")
  command+=("$sandbox/app/velmora" "$box/one.torrent")
  if [ "$who" = root ]; then "${command[@]}" 2>"$sandbox/err.log" &
  else runuser -u "$who" -- "${command[@]}" 2>"$sandbox/err.log" &
  fi
  pid=$!
  local shown=
  for _ in $(seq 400); do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "second_user.sh: as $who with a $kind at $tmp/velmora-$uid${extra:+ and $extra}, Velmora ended:" >&2
      cat "$sandbox/err.log" >&2
      exit 1
    fi
    if [ -z "$shown" ] && xdotool search --onlyvisible --name '^Velmora$' >/dev/null 2>&1; then shown=1; fi
    [ -n "$shown" ] && grep -qxF "$link" "$sandbox/xdg-open.log" 2>/dev/null && break
    sleep 0.05
  done
  if [ -z "$shown" ] || ! grep -qxF "$link" "$sandbox/xdg-open.log" 2>/dev/null; then
    echo "second_user.sh: as $who with a $kind at $tmp/velmora-$uid${extra:+ and $extra}:" \
         "${shown:+the window appeared but }the file was not loaded${shown:- and no window appeared}" >&2
    cat "$sandbox/err.log" >&2
    exit 1
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  echo "second_user.sh: as $who with a $kind at $tmp/velmora-$uid${extra:+ and $extra}: the window appeared"
}

for who in root "$user"; do
  for kind in folder link file open; do run_case "$who" "$kind" ""; done
done

# The cache folder another user's as well: no safe place is left, and the copy runs
# alone, saying so.
aim=$box/others-cache
mkdir -p "$aim"
chown "$other" "$aim"
chmod 755 "$aim"
run_case "$user" folder "XDG_CACHE_HOME=$aim"
grep -q 'работает отдельно' "$box/$user-folder/err.log" ||
  { echo "second_user.sh: the lone copy did not say so" >&2; cat "$box/$user-folder/err.log" >&2; exit 1; }
