#!/usr/bin/env bash
# Checks the software centres' entry (AppStream) as a desktop's software centre
# reads it: desktop/velmora.metainfo.xml passes `appstreamcli validate --pedantic`
# without the network, names the desktop entry the tree installs, shows the
# screenshot the tree keeps at the size it states, and its newest release is the
# project's version on the date of the newest entry of packaging/changelog.
# With a built tree (build/, or the folder named), the installed files are
# checked together too (appstreamcli validate-tree).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cd "$here"
metainfo=desktop/velmora.metainfo.xml
failed=0
fail() { echo "desktop: $*" >&2; failed=1; }

# Clean means no remark at all, pedantic hints and infos included.
appstream() {
  local out
  out=$(appstreamcli "$@" --pedantic --no-net --no-color 2>&1) && ! grep -qE '^ *[EWIP]: ' <<<"$out" && return 0
  echo "$out" >&2
  fail "appstreamcli $1 has remarks (above)"
}
appstream validate "$metainfo"

# The first match of an XPath-like pattern, with sed (the file is ours, one element a line).
first() { sed -n "s|.*$1.*|\\1|p" "$metainfo" | head -n1; }

launchable=$(first '<launchable type="desktop-id">\([^<]*\)</launchable>')
[ -f "desktop/${launchable%.desktop}.desktop.in" ] ||
  fail "the launchable '$launchable' is no desktop entry of desktop/"

# The screenshot's URL ends in the path of the picture in the tree.
shot_url=$(first '<image type="source"[^>]*>\([^<]*\)</image>')
shot_size=$(first '<image type="source" width="\([0-9]*\)" height="[0-9]*">')x$(first '<image type="source" width="[0-9]*" height="\([0-9]*\)">')
shot=${shot_url#https://*/}
if [ ! -f "$shot" ]; then
  fail "the screenshot $shot_url is not in the tree as $shot"
elif [ "$(identify -format '%wx%h' "$shot")" != "$shot_size" ]; then
  fail "$shot is $(identify -format '%wx%h' "$shot"), the entry says $shot_size"
fi

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$(first '<release version="\([^"]*\)"')
date=$(first '<release version="[^"]*" date="\([^"]*\)"')
changed=$(sed -n 's/^ -- .*>  \(.*\)$/\1/p' packaging/changelog | head -n1)
[ "$release" = "$version" ] || fail "the newest release is $release, the project is $version"
[ "$date" = "$(date -u -d "$changed" +%F)" ] || fail "the newest release is dated $date, the changelog $changed"

if [ -f "$build/CMakeCache.txt" ] && [ -x "$build/velmora" ]; then
  stage=$(mktemp -d /tmp/velmora-desktop.XXXXXX)
  trap 'rm -rf "$stage"' EXIT
  cmake --install "$build" --prefix "$stage/usr" >/dev/null
  appstream validate-tree "$stage"
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "desktop: the AppStream entry is valid and in step with the tree"
