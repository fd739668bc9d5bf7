#!/bin/bash
# The firewalld zone helper of the package against a scratch root: the zone
# exists whichever of wavewarden and network-manager comes first or goes
# first, an administrator's zone of that name is never touched, and a
# running firewalld reloads only when the zone changed.
#   test-zone.sh DIST_DIR
set -uo pipefail
dist=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export WW_ROOT=$scratch/root
shipped=$WW_ROOT/usr/share/wavewarden/firewalld/nm-shared.xml
vendor=$WW_ROOT/usr/lib/firewalld/zones/nm-shared.xml
copy=$WW_ROOT/etc/firewalld/zones/nm-shared.xml
mkdir -p "${shipped%/*}" "${vendor%/*}" "$scratch/bin"
cp "$dist/firewalld/nm-shared.xml" "$shipped"
# firewall-cmd: running while $scratch/running exists; records every reload.
cat >"$scratch/bin/firewall-cmd" <<FAKE
#!/bin/sh
case "\$1" in
  --state) [ -e "$scratch/running" ] && echo running && exit 0; echo "not running" >&2; exit 252 ;;
  --reload) echo reload >>"$scratch/reloads" ;;
esac
FAKE
chmod +x "$scratch/bin/firewall-cmd"
export PATH=$scratch/bin:$PATH
touch "$scratch/running"

failures=0
# step WHAT ACTION EXPECT_COPY(ours|admin|none) EXPECT_RELOADS
step() {
  local what=$1 action=$2 want=$3 reloads=$4 have=none got
  : >"$scratch/reloads"
  "$dist/firewalld-zone" "$action" || { echo "FAIL: $what: exit $?"; failures=$((failures + 1)); }
  if [ -f "$copy" ]; then
    have="admin"
    cmp -s "$shipped" "$copy" && have=ours
  fi
  got=$(wc -l <"$scratch/reloads")
  if [ "$have" != "$want" ] || [ "$got" != "$reloads" ]; then
    echo "FAIL: $what: copy $have (want $want), $got reloads (want $reloads)"
    failures=$((failures + 1))
  fi
}

# wavewarden first, then network-manager comes and goes, then wavewarden goes.
step "install without network-manager" sync ours 1
step "upgrade" sync ours 0
touch "$vendor"
step "network-manager installed" sync none 1
rm "$vendor"
step "network-manager removed" sync ours 1
step "wavewarden removed" withdraw none 1
# network-manager first: its zone serves, nothing is added.
touch "$vendor"
step "install beside network-manager" sync none 0
rm "$vendor"
# An administrator's zone of that name stays, whatever comes or goes.
echo '<zone target="DROP"/>' >"$copy"
step "administrator's zone" sync admin 0
touch "$vendor"
step "administrator's zone, network-manager installed" sync admin 0
step "administrator's zone, wavewarden removed" withdraw admin 0
rm "$copy" "$vendor"
# Offline (an image built in a chroot): the file alone, no reload.
rm "$scratch/running"
step "install offline" sync ours 0
[ "$(stat -c %a "$copy")" = 644 ] || {
  echo "FAIL: the zone file's mode is $(stat -c %a "$copy")"
  failures=$((failures + 1))
}
[ -z "$(find "${copy%/*}" -mindepth 1 ! -name nm-shared.xml)" ] || {
  echo "FAIL: files left beside the zone"
  failures=$((failures + 1))
}
"$dist/firewalld-zone" bogus 2>/dev/null
[ $? -eq 2 ] || {
  echo "FAIL: an unknown action is not refused"
  failures=$((failures + 1))
}

[ $failures -eq 0 ] && echo "package.zone: ok"
exit $((failures != 0))
