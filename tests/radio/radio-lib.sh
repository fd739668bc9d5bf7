# Helpers for radio scenarios: waits with deadlines (never bare sleeps), the
# daemon started and stopped by pid, and a verdict.
daemon_pid=
daemon_err=/tmp/daemon.err
daemon_out=/tmp/daemon.out

fail() {
  echo "FAIL: $*"
  echo "--- daemon standard error"
  grep -av '^Read: ' "$daemon_err" 2>/dev/null | tail -60
  stop_daemon
  exit 1
}

pass() {
  stop_daemon
  echo "PASS"
  exit 0
}

# wait_for WHAT TENTHS COMMAND...: polls COMMAND every 0.1 s, at most TENTHS
# times.
wait_for() {
  local what=$1 tries=$2
  shift 2
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

start_daemon() {
  export PATH="$1:$PATH"
  "$1/wavewarden" >"$daemon_out" 2>"$daemon_err" &
  daemon_pid=$!
  wait_for "management socket" 50 test -S /var/run/wavewarden.socket
}

stop_daemon() {
  if [ -n "$daemon_pid" ]; then
    kill "$daemon_pid" 2>/dev/null
    wait "$daemon_pid" 2>/dev/null
    daemon_pid=
  fi
}
