#!/usr/bin/env bash
# A Wine session for a run of the Windows tests: one virtual X display (Xvfb)
# and one running wineserver over the project's own Wine prefix, shared by
# every test of the run, because starting them is what makes Wine slow.
#
#   session.sh start SESSION_DIR WINEPREFIX [PROGRAM_NAME...]
#   session.sh stop  SESSION_DIR
#
# start creates the prefix when it is missing (wineboot -i), sets the string
# value Managed = N under HKCU\Software\Wine\AppDefaults\NAME\X11 Driver for
# each PROGRAM_NAME (MELVARA.EXE ...: without a window manager each message
# box would otherwise wait a second before it is activated), starts the
# display and the wineserver, and writes SESSION_DIR/env, which run_wine.sh
# reads. stop ends them.
#
# The session belongs to the process that called start (ctest): it ends when
# that process ends, also when stop is never called. Two runs over the same
# prefix do not mix: the second waits until the first session has ended.
set -euo pipefail

usage() {
  echo "usage: $0 start SESSION_DIR WINEPREFIX [PROGRAM_NAME...] | stop SESSION_DIR" >&2
  exit 2
}

# How long start waits for a session of another run to end, in seconds.
readonly lock_wait=600

xvfb=""
wineserver_started=0
session=""

end_session() {
  rm -f "$session/env" "$session/stop" "$session/supervisor.pid"
  if ((wineserver_started)); then wineserver -k 2>/dev/null || true; fi
  if [[ -n "$xvfb" ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
}

# Starts Xvfb on the first free display from 90 on, with a cookie that keeps
# other users out; sets xvfb and DISPLAY.
start_display() {
  local auth=$session/Xauthority display
  rm -f "$auth"
  touch "$auth"
  export XAUTHORITY=$auth
  for display in $(seq 90 199); do
    [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]] && continue
    rm -f "$session/display"
    xauth -q add ":$display" . "$(mcookie)"
    Xvfb ":$display" -auth "$auth" -nolisten tcp -screen 0 1024x768x24 \
      -displayfd 8 8>"$session/display" 9>&- >"$session/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
      [[ -s "$session/display" ]] && break
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
    if [[ -s "$session/display" ]]; then
      export DISPLAY=:$display
      return 0
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
  done
  echo "cannot start Xvfb:" >&2
  cat "$session/xvfb.log" >&2
  return 1
}

# Runs in the background for the session's lifetime, holding the prefix's
# lock (file descriptor 9, from start): runs the display and the wineserver,
# and ends them when asked to (the file SESSION_DIR/stop) or when the owner
# process has gone.
supervise() {
  session=$1
  local prefix=$2 owner=$3
  shift 3
  trap end_session EXIT
  echo $$ >"$session/supervisor.pid"
  start_display
  export WINEPREFIX=$prefix WINEDEBUG=-all
  if [[ ! -f "$prefix/system.reg" ]]; then
    echo "creating the Wine prefix $prefix"
    # No .NET or browser engine: the tests need neither, and wineboot would
    # otherwise offer to download them.
    WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i 9>&-
    wineserver -w
  fi
  # The wineserver stays until the session ends, so each program starts
  # quickly. One that runs already (Wine used by hand) may serve another
  # display: it must stop first.
  if ! wineserver -p 9>&- 2>/dev/null; then
    echo "waiting for the wineserver that runs in $prefix to stop"
    timeout 120 wineserver -w 9>&-
    wineserver -p 9>&-
  fi
  wineserver_started=1
  if (($# > 0)); then
    local reg=$session/programs.reg name
    {
      echo "REGEDIT4"
      for name in "$@"; do
        printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\n' "$name"
        echo '"Managed"="N"'
      done
    } >"$reg"
    wine regedit /S "$(winepath -w "$reg")" 9>&-
  fi

  cat >"$session/env.tmp" <<EOF
export WINEPREFIX='$prefix'
export WINEDEBUG=-all
export DISPLAY='$DISPLAY'
export XAUTHORITY='$XAUTHORITY'
EOF
  mv "$session/env.tmp" "$session/env"
  echo "Wine session on display $DISPLAY, prefix $prefix"

  while [[ ! -e "$session/stop" ]] && kill -0 "$owner" 2>/dev/null &&
    kill -0 "$xvfb" 2>/dev/null; do
    sleep 0.5
  done
}

start() {
  session=$1
  local prefix=$2
  shift 2
  mkdir -p "$session" "$(dirname "$prefix")"
  session=$(cd "$session" && pwd)
  prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
  # The session's files too belong to the run that holds the lock.
  exec 9>"$prefix.lock"
  if ! flock -n 9; then
    echo "waiting for the Wine session of another run over $prefix to end"
    flock -w "$lock_wait" 9 || { echo "it did not end in time"; exit 1; }
  fi
  rm -f "$session/env" "$session/stop" "$session/supervisor.pid"

  # The supervisor inherits the lock and holds it for the session's lifetime.
  setsid "$0" supervise "$session" "$prefix" "$PPID" "$@" </dev/null \
    >"$session/supervisor.log" 2>&1 &
  local supervisor=$!
  exec 9>&-
  local waited=0
  until [[ -f "$session/env" ]]; do
    if ! kill -0 "$supervisor" 2>/dev/null; then
      echo "the Wine session did not start:"
      cat "$session/supervisor.log"
      exit 1
    fi
    if ((waited++ > 1800)); then
      echo "the Wine session did not start in time"
      exit 1
    fi
    sleep 0.1
  done
  cat "$session/supervisor.log"
}

stop() {
  session=$1
  [[ -f "$session/supervisor.pid" ]] || return 0
  local supervisor
  supervisor=$(cat "$session/supervisor.pid")
  touch "$session/stop"
  for _ in $(seq 100); do
    kill -0 "$supervisor" 2>/dev/null || break
    sleep 0.1
  done
  echo "Wine session ended"
}

(($# >= 2)) || usage
case "$1" in
  start) (($# >= 3)) || usage; shift; start "$@" ;;
  stop) stop "$2" ;;
  supervise) shift; supervise "$@" ;;
  *) usage ;;
esac
