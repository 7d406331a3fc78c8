#!/usr/bin/env bash
# Installs Velmora into a temporary prefix and checks it the way a user's desktop
# meets it: the layout, the desktop entry, the icons, the manual page, the
# launchers (also after the prefix has moved), a .torrent opened with xdg-open
# starting the installed program under Xvfb and a second one landing in the same
# running copy, and an uninstall that leaves nothing behind.
#   VELMORA_BUILD=<build dir> (default: build) names the build to install from.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD:-$here/build}
. "$here/tools/lib.sh"

bash "$here/tools/deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$here" && cmake --preset run -B "$build" >/dev/null)
fi
cmake --build "$build" --target velmora velmora-cli

# The stand-in handler's path goes into a desktop entry's Exec line unquoted, and
# the box's path has no white space.
tmp=$(velmora_box install)
home=$tmp/home
prefix=$home/.local

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# The copies of the installed program that this test started, found by their
# program file, which lies in this test's own folder.
our_programs() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case $exe in "$tmp"/*/lib/velmora/velmora) echo "${p#/proc/}" ;; esac
  done
}
stop_our_programs() {
  local pids
  pids=$(our_programs)
  [ -n "$pids" ] || return 0
  # shellcheck disable=SC2086
  kill $pids 2>/dev/null || true
  for _ in $(seq 50); do
    [ -n "$(our_programs)" ] || return 0
    sleep 0.1
  done
  pids=$(our_programs)
  # shellcheck disable=SC2086
  [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
}
cleanup() {
  stop_our_programs
  rm -rf "$tmp"
}
trap cleanup EXIT

listing() { (cd "$1" && find . ! -type d | LC_ALL=C sort); }
everything() { (cd "$1" && find . | LC_ALL=C sort); }

# Torrents to open: a name with a space and Cyrillic letters, as real downloads
# have; each line of the output is "<path> <magnet link>".
make_torrents() {
  PYTHONPATH=$here/tools python3 - "$@" <<'PY'
import hashlib, os, sys
from bencode import bencode

for path in sys.argv[1:]:
    name = os.path.basename(path)[: -len(".torrent")]
    info = {"length": 3 * 16384 + 5, "name": name, "piece length": 16384,
            "pieces": hashlib.sha1(path.encode()).digest() * 4}
    data = bencode({"announce": "http://tracker.invalid/announce",
                    "comment": "made by install-test", "info": info})
    with open(path, "wb") as f:
        f.write(data)
    print(path, "magnet:?xt=urn:btih:" + hashlib.sha1(bencode(info)).hexdigest())
PY
}

# --- Install --------------------------------------------------------------
# Something of another program's in the prefix already, which the uninstall
# must leave alone.
mkdir -p "$prefix/bin" "$prefix/share/applications"
printf '#!/bin/sh\n' >"$prefix/bin/other-tool"
printf '[Desktop Entry]\nType=Application\nName=Other\nExec=other-tool\n' \
  >"$prefix/share/applications/other.desktop"
before=$(everything "$prefix")

# A prefix whose path needs quoting on the Exec line (first, so that the
# install manifest is the real prefix's).
spaced="$tmp/with space/a\$c"
cmake --install "$build" --prefix "$spaced" >"$tmp/install-spaced.log"
spaced_entry=$spaced/share/applications/velmora.desktop
# Quoted for the command line ($ escaped), then the escape's backslash doubled for
# the string value; TryExec is a plain string.
# shellcheck disable=SC2016
want_exec="Exec=\"$tmp/with space/"'a\\$c/bin/velmora" %F'
# shellcheck disable=SC2016
want_try="TryExec=$tmp/with space/"'a$c/bin/velmora'
if out=$(desktop-file-validate "$spaced_entry" 2>&1) && [ -z "$out" ] &&
   grep -qxF "$want_exec" "$spaced_entry" && grep -qxF "$want_try" "$spaced_entry"; then
  pass "the desktop entry quotes a launcher path with a space and a dollar"
else
  fail "the desktop entry for the prefix $spaced: $out $(grep Exec= "$spaced_entry")"
fi
rm -rf "$tmp/with space"

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"

expected=$(LC_ALL=C sort <<EOF
./bin/other-tool
./bin/velmora
./bin/velmora-cli
./lib/velmora/velmora
./lib/velmora/velmora-cli
./lib/velmora/fls/template.tpl
./lib/velmora/fls/mid.tpl
./share/applications/other.desktop
./share/applications/velmora.desktop
./share/metainfo/org.example.velmora.metainfo.xml
./share/icons/hicolor/scalable/apps/velmora.svg
./share/icons/hicolor/16x16/apps/velmora.png
./share/icons/hicolor/32x32/apps/velmora.png
./share/icons/hicolor/48x48/apps/velmora.png
./share/icons/hicolor/128x128/apps/velmora.png
./share/icons/hicolor/256x256/apps/velmora.png
./share/man/man1/velmora.1.gz
./share/man/man1/velmora-cli.1.gz
./share/doc/velmora/copyright
./share/doc/velmora/changelog.gz
EOF
)
if [ "$(listing "$prefix")" = "$expected" ]; then
  pass "layout"
else
  fail "layout differs (< expected, > installed):"
  diff <(echo "$expected") <(listing "$prefix") >&2 || true
fi
for f in bin/velmora bin/velmora-cli lib/velmora/velmora lib/velmora/velmora-cli; do
  [ -x "$prefix/$f" ] || fail "$f is not executable"
done
for t in template.tpl mid.tpl; do
  cmp -s "$here/fls/$t" "$prefix/lib/velmora/fls/$t" || fail "fls/$t differs from the source"
done
[ -w "$prefix/lib/velmora/fls" ] || fail "lib/velmora/fls is not writable, so sets.ini cannot be kept"

# --- Desktop entry, icons, manual page ---------------------------------------
entry=$prefix/share/applications/velmora.desktop
if out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]; then
  pass "desktop-file-validate"
else
  fail "desktop-file-validate: $out"
fi
for line in 'Name=Velmora' "TryExec=$prefix/bin/velmora" "Exec=$prefix/bin/velmora %F" 'Icon=velmora' \
  'MimeType=application/x-bittorrent;'; do
  grep -qxF "$line" "$entry" || fail "the desktop entry lacks the line $line"
done
grep -q '^Comment=.' "$entry" || fail "the desktop entry has no English comment"
# Cyrillic letters are the UTF-8 sequences that begin with the bytes D0 and D1.
LC_ALL=C grep -q $'^Comment\\[ru\\]=.*[\xd0\xd1]' "$entry" || fail "the desktop entry has no Russian comment"

if python3 - "$prefix/share/icons/hicolor" <<'PY'
import struct, sys, xml.etree.ElementTree as ET
root = sys.argv[1]
bad = []
for size in (16, 32, 48, 128, 256):
    path = f"{root}/{size}x{size}/apps/velmora.png"
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        bad.append(f"{path}: not a PNG")
    elif struct.unpack(">II", head[16:24]) != (size, size):
        bad.append(f"{path}: {struct.unpack('>II', head[16:24])}, not {size}x{size}")
svg = f"{root}/scalable/apps/velmora.svg"
if ET.parse(svg).getroot().tag != "{http://www.w3.org/2000/svg}svg":
    bad.append(f"{svg}: not an SVG document")
if bad:
    print("\n".join(bad), file=sys.stderr)
sys.exit(1 if bad else 0)
PY
then pass "icons"; else fail "icons"; fi

version=$("$prefix/lib/velmora/velmora-cli" --version) || fail "velmora-cli --version failed"
version=${version#velmora-cli }
check_manpage() {  # <page> <section>...
  local page=$prefix/share/man/man1/$1.1.gz text out section
  shift
  text=$(gzip -dc "$page")
  if out=$(groff -man -Tutf8 -ww -z <<<"$text" 2>&1) && [ -z "$out" ]; then
    pass "manual page $(basename "$page") renders without warnings"
  else
    fail "groff on $page: $out"
  fi
  for section in "$@"; do
    grep -Eq "^\.SH \"?$section\"?\$" <<<"$text" || fail "$page has no $section section"
  done
  grep -qF "\"Velmora $version\"" <<<"$text" || fail "$page does not name version $version"
}
check_manpage velmora-cli NAME SYNOPSIS DESCRIPTION OPTIONS OUTPUT 'EXIT STATUS' EXAMPLES
check_manpage velmora NAME SYNOPSIS DESCRIPTION FILES ENVIRONMENT 'EXIT STATUS' EXAMPLES


# --- The command-line program through its launcher ------------------------------
mkdir -p "$tmp/files" "$tmp/elsewhere"
mapfile -t torrents < <(make_torrents "$tmp/files/Первый файл.torrent" "$tmp/files/second.torrent")
t1=${torrents[0]%% magnet:*}; link1=${torrents[0]##* }
t2=${torrents[1]%% magnet:*}; link2=${torrents[1]##* }

check_cli() {  # <launcher> <what>
  local out
  if out=$(cd "$tmp/elsewhere" && "$1" "$t1" "$t2") &&
     [ "$out" = "$link1"$'\n'"$link2" ]; then
    pass "velmora-cli $2"
  else
    fail "velmora-cli $2 printed: $out"
  fi
}
check_cli "$prefix/bin/velmora-cli" "through bin/velmora-cli"
ln -s "$prefix/bin/velmora-cli" "$tmp/elsewhere/vc"
check_cli "$tmp/elsewhere/vc" "through a link to the launcher"
mv "$home" "$tmp/moved"
check_cli "$tmp/moved/.local/bin/velmora-cli" "after the prefix moved"
mv "$tmp/moved" "$home"

# --- The desktop: xdg-open on a .torrent, twice -------------------------------
# A desktop of the test's own (its home is $home, so its data folder is the
# prefix's share/): no desktop environment to guess (xdg-open then works from the
# MIME defaults), a fresh runtime folder for the single-instance lock, and the
# installed bin/ not on PATH, as ~/.local/bin is not before the next login.
velmora_sandbox "$tmp"
export QT_QPA_PLATFORM=xcb
PATH=$(tr ':' '\n' <<<"$PATH" | grep -vxF "$prefix/bin" | paste -sd: -)
unset DISPLAY

# The stand-in for a BitTorrent client: the desktop's handler for magnet links,
# which records each link it is given.
record=$tmp/magnet-links
cat >"$tmp/record-magnet" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>'$record'
EOF
chmod +x "$tmp/record-magnet"
cat >"$XDG_DATA_HOME/applications/record-magnet.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Magnet recorder
Exec=$tmp/record-magnet %u
MimeType=x-scheme-handler/magnet;
NoDisplay=true
EOF
: >"$record"

xdg-mime default velmora.desktop application/x-bittorrent
xdg-mime default record-magnet.desktop x-scheme-handler/magnet
default=$(xdg-mime query default application/x-bittorrent)
[ "$default" = velmora.desktop ] || fail "xdg-mime gives $default for application/x-bittorrent"
velmora_settings "$prefix/lib/velmora/fls" 1

# The session under Xvfb; it knows this test's copies of the program by the same
# functions as the rest of the script.
{
  echo "tmp='$tmp'"
  declare -f our_programs stop_our_programs
  cat <<'EOF'
# $1 record, $2 first torrent, $3 folder, $4 second torrent relative to that folder.
record=$1 first=$2 folder=$3 second=$4
: >"$record"
rm -f "$tmp/running-copies" "$tmp/second-open-status"
wait_lines() {  # <count> [pid]: up to 30 s for that many recorded links, less if pid ends
  for _ in $(seq 300); do
    [ "$(wc -l <"$record")" -ge "$1" ] && return 0
    if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then
      [ "$(wc -l <"$record")" -ge "$1" ]
      return
    fi
    sleep 0.1
  done
  return 1
}
trap stop_our_programs EXIT
# The generic xdg-open waits for the program it starts, as a file manager does
# not; so the first copy runs in the background.
xdg-open "$first" >"$tmp/xdg-open-1.log" 2>&1 &
opener=$!
wait_lines 1 "$opener" || { echo "the first open recorded no link" >&2; exit 1; }
# A later copy hands its file over and ends, and xdg-open with it.
(cd "$folder" && timeout 30 xdg-open "$second") >"$tmp/xdg-open-2.log" 2>&1
echo $? >"$tmp/second-open-status"
wait_lines 2 || { echo "the second open recorded no link" >&2; exit 1; }
our_programs | wc -l >"$tmp/running-copies"
stop_our_programs
wait "$opener" 2>/dev/null
exit 0
EOF
} >"$tmp/desktop-session.sh"
session_status=0
velmora_xvfb_run 1280x1024x24 timeout -k 5 120 \
  bash "$tmp/desktop-session.sh" "$record" "$t1" "$tmp/files" "$(basename "$t2")" \
  >"$tmp/session.log" 2>&1 || session_status=$?
stop_our_programs
[ "$session_status" = 0 ] || fail "the desktop session: $(cat "$tmp/session.log")"
rm -f "$XDG_DATA_HOME/applications/record-magnet.desktop"
recorded=$(cat "$record")
if [ "$recorded" = "$link1"$'\n'"$link2" ]; then
  pass "xdg-open on two .torrent files recorded their two links in order"
else
  fail "xdg-open recorded (want $link1, $link2): $recorded"
fi
count=$(cat "$tmp/running-copies" 2>/dev/null || echo none)
status=$(cat "$tmp/second-open-status" 2>/dev/null || echo none)
if [ "$count" = 1 ] && [ "$status" = 0 ]; then
  pass "the second xdg-open landed in the running copy"
else
  # 124: the copy it started neither handed its file over nor ended within 30 s.
  fail "the second xdg-open ended with status $status (want 0; 124 is a time-out)," \
    "then $count running copies (want 1)"
  sed 's/^/  /' "$tmp"/xdg-open-*.log "$tmp/session.log" >&2 || true
fi

# --- Uninstall ---------------------------------------------------------------
cmake --build "$build" --target uninstall >"$tmp/uninstall.log"
after=$(everything "$prefix")
if [ "$after" = "$before" ]; then
  pass "uninstall leaves nothing behind"
else
  fail "after the uninstall (< before the install, > now):"
  diff <(echo "$before") <(echo "$after") >&2 || true
fi

# A list the user saved into the program's folder is the user's, and stays.
cmake --install "$build" --prefix "$prefix" >"$tmp/install-2.log"
echo "magnet:?xt=urn:btih:0000000000000000000000000000000000000000" \
  >"$prefix/lib/velmora/saved.txt"
cmake --build "$build" --target uninstall >"$tmp/uninstall-2.log"
after=$(everything "$prefix")
wanted=$(printf '%s\n' "$before" ./lib ./lib/velmora ./lib/velmora/saved.txt | LC_ALL=C sort)
if [ "$after" = "$wanted" ]; then
  pass "uninstall keeps a file the user saved in the program's folder"
else
  fail "after the uninstall with a saved list (< wanted, > now):"
  diff <(echo "$wanted") <(echo "$after") >&2 || true
fi

if [ "$failures" -gt 0 ]; then
  echo "install test: $failures failure(s)" >&2
  exit 1
fi
echo "install test passed"
