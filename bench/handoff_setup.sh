# The set-up that the hand-off benchmarks share, sourced by them:
#
#   . "$(dirname "$0")/handoff_setup.sh" NAME BUILD_DIR [FILE ...]
#
# Sets here (the source tree), build (BUILD_DIR, or build in the tree when empty)
# and program (the built velmora there); stops with "NAME: ... is not built" when
# program, or a FILE given relative to the build folder, is missing. Then box: a
# folder of the benchmark's own with a desktop of its own in it (tools/lib.sh), the
# single-instance lock and socket among it. On exit the running copy whose process
# id is in first_pid is stopped and the box removed.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${2:-$here/build}
program=$build/velmora
name=$1
shift 2
for f in "$program" "${@/#/$build/}"; do
  [ -x "$f" ] || { echo "$name: $f is not built" >&2; exit 2; }
done
. "$here/tools/lib.sh"

box=$(velmora_box "$name")
first_pid=
handoff_cleanup() {
  velmora_stop "$first_pid"
  rm -rf "$box"
}
trap handoff_cleanup EXIT
velmora_sandbox "$box"
