#!/usr/bin/env bash
# Builds Velmora, makes a few torrents, starts the program under Xvfb with them on
# the command line, selects the third entry with a click and saves a picture of
# the screen as out/screenshot.png. Then the same window with the desktop's font at
# 8, 11 and 14 pt on a light and a dark palette (qt6ct as the desktop's settings),
# out/screenshot-<palette>-<points>.png; the open dialog in Russian,
# out/screenshot-open-dialog.png; and the status note when no program takes a
# magnet link, out/screenshot-no-handler.png; the About box and the export-name
# dialog at 14 pt.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
. "$here/tools/lib.sh"
bash "$here/tools/deps.sh"
(cd "$here" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" --target velmora

work=$(velmora_box screenshot)
trap 'rm -rf "$work"' EXIT
mkdir -p "$here/out"

PYTHONPATH=$here/tools python3 - "$work" <<'EOF'
import os, sys
from bencode import bencode

def torrent(path, name, piece_length, size=None, files=None, comment=None,
            encoding=None, private=False):
    total = size if files is None else sum(length for _, length in files)
    pieces = (total + piece_length - 1) // piece_length
    info = {"name": name, "piece length": piece_length,
            "pieces": os.urandom(20 * pieces)}
    if files is None:
        info["length"] = size
    else:
        info["files"] = [{"length": length, "path": p.split("/")} for p, length in files]
    if private:
        info["private"] = 1
    root = {"announce": "http://tracker.example.org:6969/announce",
            "creation date": 1717000000, "info": info}
    if comment:
        root["comment"] = comment
    if encoding:
        root["encoding"] = encoding
    with open(path, "wb") as f:
        f.write(bencode(root))

out = sys.argv[1]
torrent(f"{out}/debian-12.5.0-amd64-netinst.iso.torrent", "debian-12.5.0-amd64-netinst.iso",
        262144, size=659554304, comment="https://www.debian.org/CD/", encoding="UTF-8")
torrent(f"{out}/Сборник классической музыки.torrent", "Сборник классической музыки", 4194304,
        files=[(f"CD{d}/{t:02d} - Трек.flac", 31457280 + 1048576 * t) for d in (1, 2) for t in range(1, 13)],
        comment="https://example.org/music/classic", encoding="UTF-8", private=True)
torrent(f"{out}/Big Buck Bunny.torrent", "Big Buck Bunny", 1048576,
        files=[("Big Buck Bunny.mp4", 276134947), ("poster.jpg", 310380), ("Big Buck Bunny.en.srt", 140)],
        comment="Blender Foundation open movie")
torrent(f"{out}/archlinux-2024.06.01-x86_64.iso.torrent", "archlinux-2024.06.01-x86_64.iso",
        524288, size=1173544960)
torrent(f"{out}/photos-2023.torrent", "photos-2023", 65536,
        files=[(f"2023-{m:02d}/IMG_{m:02d}{i:03d}.jpg", 4200000 + i * 1000) for m in range(1, 4) for i in range(5)])
EOF

# The program's own folder for this run, so that its settings stay apart, and a
# desktop of its own, so that a copy of the program running elsewhere does not
# take the files.
velmora_app "$work" "$build/velmora" 0
app=$work/app
velmora_sandbox "$work"

cat >"$work/session.sh" <<EOF
#!/usr/bin/env bash
set -euo pipefail
"$app/velmora" "$work"/*.torrent &
pid=\$!
wid=\$(xdotool search --sync --onlyvisible --name '^Velmora\$' | head -n1)
sleep 1
# The third entry: below the tool bar (29), the list's margin (3), its header and
# two rows and a half.
xdotool mousemove --window "\$wid" 160 82 click 1
sleep 1
import -window root "$here/out/screenshot.png"
kill \$pid
wait \$pid 2>/dev/null || true
EOF
chmod +x "$work/session.sh"
velmora_xvfb_run 1024x768x24 "$work/session.sh"
echo "$here/out/screenshot.png"

# A desktop whose settings qt6ct gives: the palette (darker.conf for dark) and the
# general font. The entry is chosen with the keyboard, as rows move with the font.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 3\n' >"$work/bin/xdg-open"
chmod 755 "$work/bin/xdg-open"
shot() {  # palette points picture [keys after the selection]
  local palette=$1 points=$2 picture=$3 after=${4:-}
  local config=$work/config-$palette-$points
  mkdir -p "$config/qt6ct"
  {
    echo '[Appearance]'
    echo 'style=Fusion'
    if [ "$palette" = dark ]; then
      echo 'custom_palette=true'
      echo 'color_scheme_path=/usr/share/qt6ct/colors/darker.conf'
    else
      echo 'custom_palette=false'
    fi
    echo '[Fonts]'
    echo "general=\"DejaVu Sans,$points,-1,5,50,0,0,0,0,0\""
  } >"$config/qt6ct/qt6ct.conf"
  cat >"$work/shot.sh" <<EOF2
#!/usr/bin/env bash
set -euo pipefail
export XDG_CONFIG_HOME="$config" QT_QPA_PLATFORMTHEME=qt6ct PATH="$work/bin:\$PATH"
cd "$work"
"$app/velmora" "$work"/*.torrent &
pid=\$!
wid=\$(xdotool search --sync --onlyvisible --name '^Velmora\$' | head -n1)
sleep 1
xdotool windowfocus --sync "\$wid" || true
xdotool key --delay 100 Home Down Down
sleep 0.5
[ -n "$after" ] && xdotool key --delay 150 $after && sleep 1.5
import -window root "$here/out/$picture"
kill \$pid
wait \$pid 2>/dev/null || true
EOF2
  chmod +x "$work/shot.sh"
  velmora_xvfb_run 1024x768x24 "$work/shot.sh"
  echo "$here/out/$picture"
}
for palette in light dark; do
  for points in 8 11 14; do shot $palette $points "screenshot-$palette-$points.png"; done
done
shot light 11 screenshot-open-dialog.png ctrl+o
shot dark 11 screenshot-no-handler.png Return
shot light 14 screenshot-about-14.png F1
shot dark 14 screenshot-export-name-14.png ctrl+shift+s
