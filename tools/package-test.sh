#!/usr/bin/env bash
# Builds the Debian package and checks it as a system-wide install meets an
# ordinary user: the files it holds, lintian, the install with apt, a new
# unprivileged user who starts velmora from PATH under Xvfb, ticks the auto-run
# box and closes the window (the setting lands in ~/.config/velmora, nothing is
# written under /usr), a second start that finds the box ticked, a .torrent opened
# with xdg-open reaching the running window, and a removal that leaves no file of
# the package behind. Run as root on a machine where velmora is not installed.
#   VELMORA_DEB_BUILD=<build dir> (default: build-deb) names the build to package.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_DEB_BUILD:-$here/build-deb}

if [ "$(id -u)" != 0 ]; then
  echo "package-test: run as root (it installs the package and creates a user)" >&2
  exit 1
fi
if dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q 'ok installed'; then
  echo "package-test: velmora is installed already; the test would remove it" >&2
  exit 1
fi

bash "$here/tools/deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF -DVELMORA_STATIC_CLI=OFF >/dev/null
fi
rm -f "$build"/velmora_*.deb
cmake --build "$build" --target package >"$build/package.log" 2>&1 ||
  { cat "$build/package.log" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/velmora_${version}_amd64.deb

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

user=velmora-pkgtest-$$
tmp=$(mktemp -d /tmp/velmora-package.XXXXXX)
installed=0
# The test user's processes, by their ids.
kill_user_programs() {
  local pids
  pids=$(pgrep -u "$user" 2>/dev/null) || return 0
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
}
remove_user() {
  local uid
  uid=$(id -u "$user" 2>/dev/null) || return 0
  kill_user_programs
  userdel -r "$user" >/dev/null 2>&1 || true
  # The folder of the single-instance lock, made for the user under /tmp.
  rm -rf "/tmp/velmora-$uid"
}
cleanup() {
  remove_user
  if [ "$installed" = 1 ]; then apt-get remove -y -q velmora >/dev/null 2>&1 || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# --- The package's files -------------------------------------------------------
if [ -f "$deb" ]; then
  pass "cmake --build --target package made $(basename "$deb")"
else
  fail "no $deb"
  exit 1
fi
listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<'EOF'
./usr/bin/velmora
./usr/bin/velmora-cli
./usr/lib/velmora/velmora
./usr/lib/velmora/velmora-cli
./usr/lib/velmora/fls/template.tpl
./usr/lib/velmora/fls/mid.tpl
./usr/share/applications/velmora.desktop
./usr/share/metainfo/org.example.velmora.metainfo.xml
./usr/share/icons/hicolor/scalable/apps/velmora.svg
./usr/share/icons/hicolor/16x16/apps/velmora.png
./usr/share/icons/hicolor/32x32/apps/velmora.png
./usr/share/icons/hicolor/48x48/apps/velmora.png
./usr/share/icons/hicolor/128x128/apps/velmora.png
./usr/share/icons/hicolor/256x256/apps/velmora.png
./usr/share/man/man1/velmora.1.gz
./usr/share/man/man1/velmora-cli.1.gz
./usr/share/doc/velmora/copyright
./usr/share/doc/velmora/changelog.gz
EOF
)
if [ "$listing" = "$expected" ]; then
  pass "dpkg-deb -c lists exactly the package's files"
else
  fail "dpkg-deb -c differs (< expected, > in the package):"
  diff <(echo "$expected") <(echo "$listing") >&2 || true
fi
owners=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$owners" ] || fail "files not owned by root: $owners"

depends=$(dpkg-deb -f "$deb" Depends)
for want in libqt6widgets6 libc6 qt6-translations-l10n; do
  [[ $depends == *"$want"* ]] || fail "Depends lacks $want: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = xdg-utils ] || fail "Recommends is not xdg-utils"
! dpkg-deb -I "$deb" | grep -Eq '^ *[0-9]+ bytes, .*(postinst|prerm|postrm|preinst)' ||
  fail "the package has maintainer scripts"
pass "Depends: $depends"

lintian --tag-display-limit 0 --display-info "$deb" >"$tmp/lintian.log" 2>&1 || true
if grep -q '^E:' "$tmp/lintian.log"; then
  fail "lintian reports errors:"
  grep '^E:' "$tmp/lintian.log" >&2
else
  pass "lintian: no errors"
fi
sed -n 's/^\([WI]\): /  lintian \1: /p' "$tmp/lintian.log"

# --- Install -------------------------------------------------------------------
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$tmp/apt-install.log" 2>&1 ||
  { cat "$tmp/apt-install.log" >&2; exit 1; }
installed=1
dpkg -L velmora | LC_ALL=C sort >"$tmp/package-files"
program_folder_before=$(find /usr/lib/velmora -printf '%p %m %s %T@\n' | LC_ALL=C sort)
grep -qx 'Exec=/usr/bin/velmora %F' /usr/share/applications/velmora.desktop ||
  fail "the installed desktop entry has no absolute Exec= line"
grep -qx 'TryExec=/usr/bin/velmora' /usr/share/applications/velmora.desktop ||
  fail "the installed desktop entry has no absolute TryExec= line"
pass "apt-get install $(basename "$deb")"

# --- A new user's desktop --------------------------------------------------------
useradd --create-home --shell /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
mkdir -p "$home/files" "$home/results"
python3 - "$home/files" >"$home/results/links" <<'PY'
import hashlib, os, sys

def bencode(v):
    if isinstance(v, int):
        return b"i%de" % v
    if isinstance(v, str):
        v = v.encode()
    if isinstance(v, bytes):
        return b"%d:%s" % (len(v), v)
    return b"d" + b"".join(bencode(k) + bencode(v[k]) for k in sorted(v)) + b"e"

for name in ("one", "two", "three", "four"):
    info = {"length": 40000, "name": name, "piece length": 16384,
            "pieces": hashlib.sha1(name.encode()).digest() * 3}
    with open(os.path.join(sys.argv[1], name + ".torrent"), "wb") as f:
        f.write(bencode({"announce": "http://tracker.invalid/announce", "info": info}))
    print("magnet:?xt=urn:btih:" + hashlib.sha1(bencode(info)).hexdigest())
PY
cp "$here/tools/x11-close.py" "$home/x11-close.py"
cat >"$home/session.sh" <<'EOF'
# Runs as the new user, under Xvfb. Writes what it sees into ~/results.
set -u
out=$HOME/results
record=$out/magnet-links
: >"$record"
say() { echo "$*" >>"$out/session.log"; }

# The stand-in BitTorrent client, the desktop's handler for magnet links.
mkdir -p "$HOME/.local/share/applications" "$HOME/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$record" >"$HOME/bin/record-magnet"
chmod +x "$HOME/bin/record-magnet"
cat >"$HOME/.local/share/applications/record-magnet.desktop" <<EOD
[Desktop Entry]
Type=Application
Name=Magnet recorder
Exec=$HOME/bin/record-magnet %u
MimeType=x-scheme-handler/magnet;
NoDisplay=true
EOD
xdg-mime default record-magnet.desktop x-scheme-handler/magnet
xdg-mime default velmora.desktop application/x-bittorrent
command -v velmora >"$out/which"

lines() { wc -l <"$record"; }
wait_lines() {  # <count>: up to 30 s for that many recorded links
  for _ in $(seq 300); do [ "$(lines)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}
window() {
  timeout 30 xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1
}
close_window() {  # <window> <pid>: the close box, then up to 30 s for the program to end
  python3 "$HOME/x11-close.py" "$1"
  for _ in $(seq 300); do kill -0 "$2" 2>/dev/null || { wait "$2"; return; }; sleep 0.1; done
  say "the program did not end after its window was closed"
  return 1
}
tick_auto_run() {  # <window>: a click on the auto-run box
  eval "$(xdotool getwindowgeometry --shell "$1")"
  # The box sits in the "Action" group at the bottom left of the window, which
  # keeps its height as the window grows.
  xdotool mousemove --window "$1" 18 $((HEIGHT - 149)) click 1
}

# The first start: auto-run off, as nothing has been set yet.
velmora "$HOME/files/one.torrent" "$HOME/files/two.torrent" &
pid=$!
wid=$(window)
[ -n "$wid" ] || { say "no window at the first start"; exit 1; }
sleep 2
import -window root "$out/first-start.png"
tick_auto_run "$wid"
sleep 0.5
import -window root "$out/ticked.png"
close_window "$wid" "$pid"
echo $? >"$out/first-status"
lines >"$out/links-after-first"
cp "$HOME/.config/velmora/sets.ini" "$out/sets.ini" 2>/dev/null
stat -c %a "$HOME/.config/velmora" >"$out/config-mode" 2>/dev/null

# The second start: the box is ticked, so the loaded file's link goes to the client.
velmora "$HOME/files/three.torrent" &
pid=$!
wid=$(window)
[ -n "$wid" ] || { say "no window at the second start"; exit 1; }
wait_lines 1 || say "the second start handed no link to the client"
sleep 1
import -window root "$out/second-start.png"
# A file opened from the desktop lands in the running window, which hands its link on.
(cd "$HOME/files" && timeout 30 xdg-open four.torrent) >"$out/xdg-open.log" 2>&1
echo $? >"$out/xdg-open-status"
wait_lines 2 || say "the file opened with xdg-open gave no link"
pgrep -u "$(id -u)" -x velmora | wc -l >"$out/running-copies"
close_window "$wid" "$pid"
echo $? >"$out/second-status"
exit 0
EOF
chown -R "$user:" "$home"
touch "$tmp/stamp"

session_status=0
for attempt in 1 2 3; do
  session_status=0
  runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" SHELL=/bin/bash \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 XDG_CURRENT_DESKTOP=X-Generic \
    timeout -k 5 180 xvfb-run -a -s "-noreset -screen 0 1280x1024x24" bash "$home/session.sh" \
    >"$tmp/session.out" 2>&1 || session_status=$?
  kill_user_programs
  grep -q 'Xvfb failed to start' "$tmp/session.out" || break
  sleep "$attempt"
done
results=$home/results
[ "$session_status" = 0 ] || fail "the session ended with $session_status: $(cat "$tmp/session.out")"
[ ! -s "$results/session.log" ] || fail "the session: $(cat "$results/session.log")"
mkdir -p "$here/out"
cp "$results"/*.png "$here/out/" 2>/dev/null || true

[ "$(cat "$results/which" 2>/dev/null)" = /usr/bin/velmora ] ||
  fail "velmora on PATH is $(cat "$results/which" 2>/dev/null), not /usr/bin/velmora"
[ "$(cat "$results/first-status" 2>/dev/null)" = 0 ] || fail "the first window did not close cleanly"
[ "$(cat "$results/links-after-first" 2>/dev/null)" = 0 ] || fail "the first start handed links on with auto-run off"
if grep -q '^AutoStart=1' "$results/sets.ini" 2>/dev/null; then
  pass "the user's .config/velmora/sets.ini holds AutoStart=1"
else
  fail "the user's .config/velmora/sets.ini: $(cat "$results/sets.ini" 2>/dev/null || echo missing)"
fi
[ "$(cat "$results/config-mode" 2>/dev/null)" = 700 ] ||
  fail "the user's .config/velmora has mode $(cat "$results/config-mode" 2>/dev/null), not 700"
written=$(find /usr -newer "$tmp/stamp" -user "$user" 2>/dev/null)
if [ -z "$written" ] && [ "$(find /usr/lib/velmora -printf '%p %m %s %T@\n' | LC_ALL=C sort)" = "$program_folder_before" ]; then
  pass "nothing was written under /usr"
else
  fail "written under /usr: $written"
fi
links=$(sed -n '3,4p' "$results/links")
if [ "$(cat "$results/magnet-links" 2>/dev/null)" = "$links" ]; then
  pass "the second start found the box ticked, and xdg-open reached the running window"
else
  fail "links handed to the client (want the third and fourth): $(cat "$results/magnet-links" 2>/dev/null)"
fi
[ "$(cat "$results/xdg-open-status" 2>/dev/null)" = 0 ] ||
  fail "xdg-open ended with $(cat "$results/xdg-open-status" 2>/dev/null): $(cat "$results/xdg-open.log" 2>/dev/null)"
[ "$(cat "$results/running-copies" 2>/dev/null)" = 1 ] ||
  fail "$(cat "$results/running-copies" 2>/dev/null) copies ran after xdg-open, not 1"
[ "$(cat "$results/second-status" 2>/dev/null)" = 0 ] || fail "the second window did not close cleanly"

# --- Remove --------------------------------------------------------------------
remove_user
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q velmora >"$tmp/apt-remove.log" 2>&1 ||
  fail "apt-get remove: $(cat "$tmp/apt-remove.log")"
installed=0
left=""
while read -r path; do
  # Folders shared with other packages stay; the package's own go with it.
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    case $path in */velmora | */velmora/*) left+="$path " ;; esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+="$path "
  fi
done <"$tmp/package-files"
if [ -z "$left" ]; then
  pass "apt-get remove leaves no file of the package behind"
else
  fail "left after the removal: $left"
fi

if [ "$failures" -gt 0 ]; then
  echo "package test: $failures failure(s)" >&2
  exit 1
fi
echo "package test passed"
