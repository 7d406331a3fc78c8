# shellcheck shell=bash
# Shell functions shared by the scripts that start the real program: a display of
# its own under Xvfb, a desktop of its own in a temporary folder, and the wait for
# a running copy's hand-off socket. Source it:  . "$here/tools/lib.sh"

# velmora_box <name>: makes a fresh temporary folder velmora-<name>.XXXXXX and prints
# its path. The path has no white space, since a desktop entry's Exec line takes
# such a path unquoted.
velmora_box() {
  local tmpdir=${TMPDIR:-/tmp}
  case $tmpdir in *[[:space:]]*) tmpdir=/tmp ;; esac
  mktemp -d "$tmpdir/velmora-$1.XXXXXX"
}

# velmora_sandbox <box>: a desktop of the caller's own under <box>: home, data and
# configuration folders there, no desktop environment to guess (xdg-open then works
# from the MIME defaults) and a fresh runtime folder, so that the single-instance
# lock and socket are the caller's alone. Exports the variables for the rest of
# the script; the display is left as it is, and the language is none (C.UTF-8).
velmora_sandbox() {
  local box=$1
  export HOME=$box/home
  export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
  export XDG_CONFIG_DIRS=$box/no-config XDG_CURRENT_DESKTOP=X-Generic
  export XDG_RUNTIME_DIR=$box/run
  # No language of the desktop's: the windows speak their own, Russian.
  export LANG=C.UTF-8
  unset LANGUAGE LC_ALL LC_MESSAGES
  unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID \
    MATE_DESKTOP_SESSION_ID LXQT_SESSION_CONFIG XDG_MENU_PREFIX BROWSER
  mkdir -p "$HOME" "$XDG_CONFIG_DIRS" "$XDG_RUNTIME_DIR"
  chmod 0700 "$XDG_RUNTIME_DIR"
}

# velmora_settings <fls folder> <0|1>: the program's settings file with auto-run
# off (0) or on (1), in the program's own line ends.
velmora_settings() {
  mkdir -p "$1"
  printf '[USER]\r\nAutoStart=%s\r\n' "$2" >"$1/sets.ini"
}

# velmora_app <box> <program> <0|1>: a copy of the program in <box>/app with a
# settings file of its own (the program keeps its settings beside itself) and
# auto-run off (0) or on (1). The export templates beside the program come along
# when they are there.
velmora_app() {
  local box=$1 program=$2
  mkdir -p "$box/app/fls"
  cp "$program" "$box/app/velmora"
  if compgen -G "$(dirname "$program")/fls/*.tpl" >/dev/null; then
    cp "$(dirname "$program")"/fls/*.tpl "$box/app/fls/"
  fi
  velmora_settings "$box/app/fls" "$3"
}

# velmora_xvfb_run <screen WxHxD> <command...>: runs the command on a display of its
# own. xvfb-run -a can pick the same display as another session starting at the
# same moment; then its server fails to start, and the command is tried again (up
# to three times). Standard error reaches the caller as it comes; the status is the
# command's. VELMORA_XVFB_OPTIONS adds options for the server (e.g. -ac).
# -noreset: by default the server resets when its last client leaves, and a
# program started in that moment cannot connect ("could not connect to display"),
# which is what happens between two programs started one after the other.
velmora_xvfb_run() {
  local - screen=$1 attempt status log
  set +o errexit
  shift
  log=$(mktemp "${TMPDIR:-/tmp}/velmora-xvfb.XXXXXX")
  for attempt in 1 2 3; do
    { xvfb-run -a -s "-noreset ${VELMORA_XVFB_OPTIONS:-} -screen 0 $screen" "$@" 2>&1 1>&3 3>&- |
        tee "$log" >&2; } 3>&1
    status=${PIPESTATUS[0]}
    grep -q 'Xvfb failed to start' "$log" || break
    sleep "$attempt"
  done
  rm -f "$log"
  return "$status"
}

# velmora_on_own_display <screen WxHxD> <script> <arguments...>: called at the top
# of an end-to-end script, runs that script again on a display of its own
# (velmora_xvfb_run) and ends the caller with its status; in the run on that
# display it returns at once.
velmora_on_own_display() {
  [ -z "${VELMORA_E2E_IN_XVFB:-}" ] || return 0
  command -v xvfb-run >/dev/null || { echo "$(basename "$2"): xvfb-run is missing" >&2; exit 2; }
  export VELMORA_E2E_IN_XVFB=1
  local screen=$1
  shift
  velmora_xvfb_run "$screen" bash "$@"
  exit
}

# velmora_wait_listening <pid> [seconds]: waits (15 s unless told) until the copy of
# the program with that process id listens on the hand-off socket in
# $XDG_RUNTIME_DIR. Fails at once when that copy ends first, and when time runs out.
velmora_wait_listening() {
  local pid=$1 tries=$((${2:-15} * 20))
  local socket=$XDG_RUNTIME_DIR/TfrmKTZ-Velmora
  for ((; tries > 0; tries--)); do
    [ -S "$socket" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  [ -S "$socket" ]
}

# velmora_stop <pid>: ends that process, if it still runs, and waits for it.
velmora_stop() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
