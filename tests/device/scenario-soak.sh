#!/bin/bash
# Device soak: what happens to a device in the field, in a seeded random
# order, for SECONDS: the station roaming between upstream access points on
# 2.4 and 5 GHz, a phone joining and leaving, create/test/teardown/refresh/
# delayrefresh, hostapd or dnsmasq killed (an app refreshes once the state
# says so), the daemon killed with SIGKILL (systemd restarts it), streaming
# clients switching scan blocking; three clients poll state and status all
# along. After each step:
#   - the access point is what the last accepted request asked for (name,
#     frequency: 6 GHz channel 37 for hbs and hbs6 below the split, the
#     station's for scs, the asked one for test), or off after a teardown,
#     and the laststate file holds that request;
#   - the phone, when it is meant to be on, takes a lease and downloads from
#     the upstream server (nat) or reaches only the device (noroute);
#   - every state reply parsed, every status reply was one;
#   - no "Error" line in the daemon's journal.
# Every minute (more often in a short soak) and at the end: the daemon's
# resident memory, descriptors and threads (flat for one daemon process, see
# check_flat) and no zombie. The same seed gives the same steps.
#   scenario-soak.sh BUILD_DIR SECONDS SEED
# Prints "BENCH name value unit" lines with its figures.
set -uo pipefail
build=$1
soak_s=${2:-180}
seed=${3:-1}
. "$(dirname "$0")/device-lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
check=$here/soak-check.py

eval "device_fail() $(declare -f fail | tail -n +2)"
fail() {
  echo "--- soak seed $seed, step $steps ($step): the last steps"
  tail -8 "$work/steps"
  echo "--- reproduce: tests/device/soak.sh BUILD_DIR $soak_s $seed"
  stop_pollers
  device_fail "$@"
}

steps=0 checks=0 step=setup
: >"$work/steps"
: >"$work/samples"
: >"$work/recoveries"

# What the last accepted request asked for.
want_ap=off want_ssid= want_freq= want_route=nat want_line=
phone_on=0 phone_creds=
upstream_channel=6 bssid=0

record() { echo "$(($(now_ms) - soak_start)) $*" >>"$work/steps"; }
# recovered KIND SINCE: how long the access point (or the phone) took to be
# back after a fault of this kind.
recovered() { echo "$1 $(($(now_ms) - $2))" >>"$work/recoveries"; }

# --- the daemon's view
ap_as_wanted() {
  if [ "$want_ap" = off ]; then
    python3 "$check" ap off
  else
    python3 "$check" ap on "$want_ssid" "$want_freq"
  fi
}
check_ap() {
  wait_for "the access point as asked ($want_ap $want_ssid $want_freq)" 900 ap_as_wanted
  local line=
  [ -f /var/run/wavewarden.laststate ] && line=$(cat /var/run/wavewarden.laststate)
  [ "$line" = "$want_line" ] || fail "laststate holds '$line', not '$want_line'"
  checks=$((checks + 2))
}

# --- the phone
phone_check() {
  [ "$want_ap" = on ] && [ "$phone_on" = 1 ] || return 0
  read_creds
  if [ "$phone_creds" != "$ssid/$passphrase" ] || [ -z "$client_pid" ]; then
    stop_client
    start_client "$ssid" "$passphrase"
    phone_creds="$ssid/$passphrase"
  fi
  wait_for "the phone associated" 900 client_linked
  # Without a route there is no dnsmasq, so no lease either.
  [ "$want_route" != unset ] || return 0
  phone_lease
  if [ "$want_route" = nat ]; then
    download_works 600
  else
    device_answers() { ip netns exec cl ping -c 1 -W 1 10.35.78.1; }
    wait_for "the phone reaching 10.35.78.1" 300 device_answers
    fetch 2 && fail "noroute: the phone reaches the upstream server"
  fi
  checks=$((checks + 1))
}

# --- the journal: "Error" lines since the last step (read from the cursor
# on, not from boot; set in this shell, so no command substitution around it)
cursor=
check_journal() {
  local out next errors
  out=$(journalctl -b --no-pager -o cat -u wavewarden ${cursor:+--after-cursor="$cursor"} \
    --show-cursor 2>/dev/null)
  next=$(printf '%s\n' "$out" | sed -n 's/^-- cursor: //p' | tail -1)
  [ -z "$next" ] || cursor=$next
  errors=$(printf '%s\n' "$out" | grep -a "Error" | grep -av '^-- cursor: ')
  [ -z "$errors" ] || fail "the daemon's journal says: $errors"
  checks=$((checks + 1))
}

# --- the pollers
start_pollers() {
  rm -f "$work/polls.stop"
  python3 "$check" poll 3 "$work/polls" &
  poller_pid=$!
}
stop_pollers() {
  touch "$work/polls.stop"
  [ -n "${poller_pid:-}" ] && wait "$poller_pid" 2>/dev/null
  poller_pid=
}
check_polls() {
  local polls unanswered bad last
  read -r polls unanswered bad last <"$work/polls" 2>/dev/null || return 0
  [ "${bad:-0}" = 0 ] || fail "$bad bad replies to the pollers, the last: $last"
  checks=$((checks + 1))
}

# --- resources: the daemon's memory, descriptors and threads, zombies
sample() {
  local pid
  pid=$(systemctl show -P MainPID wavewarden)
  [ -n "$pid" ] && [ "$pid" != 0 ] || return 0
  local rss threads fds huge
  read -r rss threads < <(awk '/^VmRSS:/ {r = $2} /^Threads:/ {t = $2} END {print r, t}' \
    "/proc/$pid/status" 2>/dev/null)
  fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
  # Huge pages show where a jump in resident memory came from.
  huge=$(awk '/^AnonHugePages:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null)
  [ -n "$rss" ] || return 0
  echo "$((($(now_ms) - soak_start) / 1000)) $pid $rss $fds $threads ${huge:-0}" >>"$work/samples"
  check_flat
  no_zombies
}
zombies() { ps -eo stat=,pid=,ppid=,args= | awk '$1 ~ /^Z/'; }
no_zombies() {
  [ -z "$(zombies)" ] && return 0
  # A child may have ended a moment before its parent reaps it.
  sleep 2
  local z
  z=$(zombies)
  [ -z "$z" ] || fail "zombies: $z"
}
# For each daemon process, once it has run two minutes (its first command
# threads have made glibc's per-thread arenas and left their stacks in its
# cache by then, about 2 MiB in all): resident memory within 1 MiB of its
# first sample from then on, descriptors and threads at most three above it
# (one connection and its thread for each poller may be open when a sample
# is taken). A leak of a few hundred bytes a request, or of a descriptor or
# thread per step, would pass the bound within the hour.
check_flat() {
  local why
  why=$(awk '
    !($2 in seen) { seen[$2] = $1 }
    $1 - seen[$2] >= 120 && !($2 in rss) { rss[$2] = $3; fds[$2] = $4; thr[$2] = $5; next }
    ($2 in rss) && ($3 > rss[$2] + 1024 || $4 > fds[$2] + 3 || $5 > thr[$2] + 3) {
      printf "daemon %s at %d s: %d kB, %d descriptors, %d threads; after its warm-up %d kB, %d, %d\n",
        $2, $1, $3, $4, $5, rss[$2], fds[$2], thr[$2]
    }' "$work/samples")
  [ -z "$why" ] || fail "not flat: $why"
  checks=$((checks + 1))
}

# --- the steps. RANDOM is read in this shell only (never in a command
# substitution, whose subshell would not advance it), so the seed alone
# decides the steps.
pick() { picked=$((RANDOM % $1)); }

step_create() {
  local modes=(hbs scs hbs6) routes=(nat nat noroute) mode route name=- pass=-
  pick 3
  mode=${modes[$picked]}
  pick 3
  route=${routes[$picked]}
  pick 3
  [ "$picked" = 0 ] || name=soak-$RANDOM
  pick 3
  [ "$picked" = 0 ] || pass=pass-$RANDOM-$RANDOM
  record "create $name $pass $mode $route"
  wavectl create "$name" "$pass" "$mode" "$route" | grep -q "Creating" ||
    fail "create $name $pass $mode $route refused"
  want_ap=on want_route=$route
  want_ssid=$name
  [ "$name" = - ] && want_ssid='*'
  want_freq=6135
  [ "$mode" = scs ] && want_freq=sta
  want_line=$(printf 'create\t%s\t%s\t%s\t%s' "$name" "$pass" "$mode" "$route")
}
step_test() {
  local bands=(2 5 6 2) channels=(6 36 37 11) freqs=(2437 5180 6135 2462) i
  pick 4
  i=$picked
  local name=soak-$RANDOM pass=pass-$RANDOM-$RANDOM
  record "test $name $pass ${bands[$i]} ${channels[$i]}"
  wavectl test "$name" "$pass" "${bands[$i]}" "${channels[$i]}" | grep -q "Creating" ||
    fail "test refused"
  # test leaves the route as the last create set it.
  want_ap=on want_ssid=$name want_freq=${freqs[$i]}
  want_line=$(printf 'test\t%s\t%s\t%s\t%s' "$name" "$pass" "${bands[$i]}" "${channels[$i]}")
}
step_teardown() {
  record teardown
  wavectl teardown | grep -q "Tearing down" || fail "teardown refused"
  want_ap=off want_line=teardown
}
step_refresh() {
  local word=refresh
  pick 2
  [ "$picked" = 0 ] && word=delayrefresh
  record "$word"
  wavectl "$word" | grep -q "Refreshing" || fail "$word refused"
}
step_roam() {
  local channels=() next c
  for c in 6 11 36 44; do
    [ "$c" = "$upstream_channel" ] || channels+=("$c")
  done
  pick 3
  next=${channels[$picked]}
  record "roam $upstream_channel -> $next"
  local since mhz
  since=$(now_ms)
  stop_upstream
  bssid=$((bssid + 1))
  start_upstream "$next" "$(printf '02:00:00:00:aa:%02x' $((bssid % 256)))"
  upstream_channel=$next
  case $next in 6) mhz=2437 ;; 11) mhz=2462 ;; 36) mhz=5180 ;; 44) mhz=5220 ;; esac
  station_on() { [ "$(station_mhz)" = "$mhz" ]; }
  wait_for "station on channel $next" 900 station_on
  wait_for "station routed" 300 station_routed
  check_ap
  recovered roam "$since"
}
step_phone() {
  if [ "$phone_on" = 1 ]; then
    record "phone leaves"
    stop_client
    phone_on=0 phone_creds=
  else
    record "phone joins"
    phone_on=1
  fi
}
step_kill() {
  local kind=$1 pid
  pid=$(pgrep -x "$kind" | head -1)
  if [ -z "$pid" ]; then
    record "kill $kind: none runs"
    return
  fi
  record "kill $kind $pid"
  local since
  since=$(now_ms)
  kill -9 "$pid"
  # The supervision pass reports it within 20 seconds; then the app asks
  # for a refresh, as apps do. ("kind", not "what": wait_for has a local of
  # that name, which the condition would see.)
  reported() { status_is "1	$kind failed"; }
  wait_for "$kind failure reported" 600 reported
  wavectl refresh | grep -q "Refreshing" || fail "refresh refused"
  check_ap
  recovered "$kind" "$since"
}
step_kill_daemon() {
  local restarts since
  restarts=$(systemctl show -P NRestarts wavewarden)
  record "SIGKILL wavewarden (restarts so far: $restarts)"
  since=$(now_ms)
  systemctl kill -s KILL --kill-whom=main wavewarden || fail "kill"
  restarted() { [ "$(systemctl show -P NRestarts wavewarden)" -gt "$restarts" ]; }
  wait_for "the unit restarting the daemon" 300 restarted
  wait_for "management socket" 300 status_is "[012]"
  # The replay of a test request brings back its name, passphrase and
  # channel; the route of an earlier create is gone with the process.
  case $want_line in test*) want_route=unset ;; esac
  check_ap
  recovered daemon "$since"
}
step_stream() {
  record "streaming client on wlan0, then closed"
  "$radio_lib/streamer.py" "$block" wlan0=5 close=0 || fail "streaming client"
}

# What happens, each with its weight out of 25.
step_weights=(roam:4 phone:4 create:4 test:2 teardown:2 refresh:2 hostapd:2 dnsmasq:2 daemon:1
  stream:2)
one_step() {
  local r entry
  pick 25
  r=$picked
  for entry in "${step_weights[@]}"; do
    step=${entry%:*}
    [ "$r" -ge "${entry#*:}" ] || break
    r=$((r - ${entry#*:}))
  done
  # The first step gives the access point a route that tests keep.
  [ "$steps" != 1 ] || step=create
  case $step in
    hostapd | dnsmasq)
      if [ "$want_ap" = on ]; then step_kill "$step"; else step_create; fi
      ;;
    daemon) step_kill_daemon ;;
    *) "step_$step" ;;
  esac
}

device_up
service_up
RANDOM=$seed
soak_start=$(now_ms)
echo "--- soak: seed $seed, $soak_s s"
start_pollers
check_ap
sample
last_sample=$soak_start
# A sample a minute; six at least in a short soak.
sample_ms=$((soak_s * 1000 / 6))
[ "$sample_ms" -le 60000 ] || sample_ms=60000
deadline=$((soak_start + soak_s * 1000))
# Bounded in count as in time: a step takes seconds.
while [ "$(now_ms)" -lt "$deadline" ] && [ "$steps" -lt 10000 ]; do
  steps=$((steps + 1))
  one_step
  check_ap
  phone_check
  check_polls
  check_journal
  if [ $(($(now_ms) - last_sample)) -ge "$sample_ms" ]; then
    sample
    last_sample=$(now_ms)
  fi
done
step=end
sample
stop_pollers
check_polls
no_denials

read -r polls unanswered bad _ <"$work/polls"
echo "--- soak: $steps steps, $checks checks, $polls polls ($unanswered unanswered while the daemon restarted)"
echo "--- steps (ms since the start)"
cat "$work/steps"
echo "--- samples (s pid kB descriptors threads, kB of it in huge pages)"
cat "$work/samples"
echo "BENCH soak_seconds $((($(now_ms) - soak_start) / 1000)) s"
echo "BENCH soak_steps $steps"
echo "BENCH soak_invariant_checks $checks"
echo "BENCH soak_polls $polls"
# A few samples of the curve: the first, the middle and the last.
total=$(wc -l <"$work/samples")
for i in 1 $(((total + 1) / 2)) "$total"; do
  read -r t _ rss fds threads _ < <(sed -n "${i}p" "$work/samples")
  echo "BENCH soak_at_${t}s_rss $rss kB"
  echo "BENCH soak_at_${t}s_descriptors $fds"
  echo "BENCH soak_at_${t}s_threads $threads"
done
# Recovery per kind of fault: count, median and worst.
for kind in roam hostapd dnsmasq daemon; do
  awk -v k="$kind" '$1 == k { print $2 }' "$work/recoveries" | sort -n >"$work/r"
  n=$(wc -l <"$work/r")
  [ "$n" -gt 0 ] || continue
  echo "BENCH soak_recovery_${kind}_count $n"
  echo "BENCH soak_recovery_${kind}_median $(sed -n "$(((n + 1) / 2))p" "$work/r") ms"
  echo "BENCH soak_recovery_${kind}_worst $(tail -1 "$work/r") ms"
done
pass
