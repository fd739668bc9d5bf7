#!/bin/bash
# Builds the Debian package of a built tree in a scratch folder, lints it with
# lintian (errors fail, warnings are shown) and checks its files, its
# dependencies and its changelog. Nothing is installed.
# Usage: test-package.sh CPACK BUILD_DIR SCRATCH_DIR UNIT_PATH with-man(yes|no)
set -euo pipefail

cpack=$1 build=$2 scratch=$3 unit=${4#/} with_man=$5

rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The tree is already built; cpack only installs it into its own staging
# folder under the scratch folder.
timeout 60 "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" \
  >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
}
debs=("$scratch"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one .deb in $scratch, found: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
echo "package: $deb"

# Lintian refuses a package with errors; its warnings are printed for the
# reader but do not fail.
echo "--- lintian"
if ! timeout 60 lintian --tag-display-limit 0 --fail-on error "$deb"; then
  fail "lintian reports errors"
fi
echo "---"

root=$scratch/root
mkdir "$root"
dpkg-deb -x "$deb" "$root"

# Exactly these files, nothing more.
expected=(
  usr/sbin/wavewarden
  usr/bin/wavectl
  usr/bin/bandprobe
  "$unit"
  usr/lib/NetworkManager/conf.d/90-wavewarden.conf
  usr/share/bash-completion/completions/wavectl
  usr/share/wavewarden/firewalld/nm-shared.xml
  usr/libexec/wavewarden/firewalld-zone
  usr/share/doc/wavewarden/copyright
  usr/share/doc/wavewarden/changelog.gz
)
if [ "$with_man" = yes ]; then
  expected+=(
    usr/share/man/man8/wavewarden.8.gz
    usr/share/man/man1/wavectl.1.gz
    usr/share/man/man8/bandprobe.8.gz
  )
fi
actual=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$actual" != "$wanted" ]; then
  fail "file list differs (- expected, + packaged):"
  diff <(echo "$wanted") <(echo "$actual") >&2 || true
fi

# The programs are executable, and the unit starts the one the package ships.
for program in usr/sbin/wavewarden usr/bin/wavectl usr/bin/bandprobe \
  usr/libexec/wavewarden/firewalld-zone; do
  [ -x "$root/$program" ] || fail "$program is not executable"
done
exec_start=$(sed -n 's/^ExecStart=//p' "$root/$unit" 2>/dev/null | head -n 1 || true)
exec_path=${exec_start%% *}
if [ -z "$exec_path" ] || [ ! -x "$root$exec_path" ]; then
  fail "the unit's ExecStart ($exec_start) is not a program of the package"
fi

# Every manual page is gzip data that decompresses.
if [ "$with_man" = yes ]; then
  for page in "$root"/usr/share/man/man*/*.gz; do
    gzip -t "$page" 2>/dev/null || fail "${page#"$root"/} is not valid gzip"
  done
fi

# The dependencies: the shared libraries and the programs the daemon runs.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=" $(echo "$depends" | sed 's/[,|]/\n/g' | sed 's/(.*)//; s/:.*//; s/[[:space:]]//g' |
  grep -v '^$' | tr '\n' ' ')"
for package in libc6 libnl-3-200 libnl-genl-3-200 libnl-route-3-200 \
  hostapd dnsmasq-base iw iproute2 net-tools psmisc firewalld; do
  [[ $names == *" $package "* ]] || fail "Depends lacks $package"
done

# Nothing that would take over the device's networking is pulled in, not
# even by apt's default of installing recommendations.
for field in Depends Recommends; do
  pulled=$(dpkg-deb -f "$deb" "$field")
  for manager in network-manager modemmanager connman; do
    [[ " $pulled " != *"$manager"* ]] || fail "$field names $manager"
  done
done
[[ " $(dpkg-deb -f "$deb" Suggests) " == *" network-manager "* ]] || fail "Suggests lacks network-manager"
# The zone helper runs again whenever a package changes firewalld's vendor zones.
dpkg-deb -e "$deb" "$scratch/control"
grep -qx "interest-noawait /usr/lib/firewalld/zones" "$scratch/control/triggers" ||
  fail "no trigger on firewalld's vendor zones"

# The newest changelog entry is this version.
version=$(dpkg-deb -f "$deb" Version)
gzip -dc "$root/usr/share/doc/wavewarden/changelog.gz" >"$scratch/changelog"
changelog_version=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)
if [ "$changelog_version" != "$version" ]; then
  fail "the changelog's newest entry is $changelog_version, the package is $version"
fi

if [ $failures -ne 0 ]; then
  exit 1
fi
rm -rf "$scratch"
echo "package.deb: ok"
