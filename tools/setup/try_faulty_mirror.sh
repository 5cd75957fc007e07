#!/usr/bin/env bash
# Tries ./run's package set-up against a mirror in the middle of a sync, for real: a local apt
# repository of its own making whose "security" suite has a damaged i386 index and offers a
# library for amd64 at a newer version than for i386. apt reads only that repository
# (APT_CONFIG); the packages, all named sonvexlab-*, are installed into this machine's dpkg
# database and purged again at the end. Needs root.
#
#   tools/setup/try_faulty_mirror.sh [WORKDIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
lab=$(realpath -m "${1:-$top/build/apt-lab}")
[ "$(id -u)" -eq 0 ] || { echo "try_faulty_mirror: needs root (it installs and purges sonvexlab-* packages)" >&2; exit 1; }
dpkg --print-foreign-architectures | grep -qx i386 || { echo "try_faulty_mirror: the i386 architecture is not enabled" >&2; exit 1; }

rm -rf "$lab"
mkdir -p "$lab"/{debs,repo,lists/partial,archives/partial,sources.list.d,preferences.d}

# One dummy package: name version arch [control lines...]
make_deb() {
  local name=$1 version=$2 arch=$3 dir
  shift 3
  dir=$lab/debs/$name-$version-$arch
  mkdir -p "$dir/DEBIAN"
  {
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMaintainer: lab <lab@localhost>\n' "$name" "$version" "$arch"
    printf 'Description: a package of the faulty-mirror trial\n'
    printf '%s\n' "$@"
  } >"$dir/DEBIAN/control"
  dpkg-deb --build --root-owner-group "$dir" "$lab/debs/${name}_${version}_$arch.deb" >/dev/null
}

for arch in amd64 i386; do
  make_deb sonvexlab-lib 1.0 $arch "Source: sonvexlab" "Multi-Arch: same"
  make_deb sonvexlab-stuck 1.0 $arch "Multi-Arch: same"
done
for arch in amd64 i386; do make_deb sonvexlab-lib 1.1 $arch "Source: sonvexlab" "Multi-Arch: same"; done
make_deb sonvexlab-lib-dev 1.0 amd64 "Source: sonvexlab" "Depends: sonvexlab-lib (= 1.0)"
make_deb sonvexlab-lib-dev 1.1 amd64 "Source: sonvexlab" "Depends: sonvexlab-lib (= 1.1)"
make_deb sonvexlab-stuck 1.2 amd64 "Multi-Arch: same"
make_deb sonvexlab-app 1.0 i386 "Depends: sonvexlab-lib"
make_deb sonvexlab-app2 1.0 i386 "Depends: sonvexlab-stuck"

# Two suites: "lab" has everything at 1.0; "lab-security" has the 1.1 and 1.2 updates for amd64
# and its i386 index arrives damaged (shorter than its Release file says), so that for i386 only
# the 1.0 versions are to be had.
suite() { # name package-files...
  local name=$1 dir=$lab/repo/dists/$1/main
  shift
  mkdir -p "$dir/binary-amd64" "$dir/binary-i386" "$lab/repo/pool/$name"
  for f in "$@"; do cp "$lab/debs/$f" "$lab/repo/pool/$name/"; done
  for arch in amd64 i386; do
    (cd "$lab/repo" && dpkg-scanpackages --arch $arch "pool/$name" /dev/null 2>/dev/null) >"$dir/binary-$arch/Packages"
  done
  {
    printf 'Date: %s\nSuite: %s\nCodename: %s\nArchitectures: amd64 i386\nComponents: main\nSHA256:\n' "$(date -Ru)" "$name" "$name"
    for arch in amd64 i386; do
      printf ' %s %s main/binary-%s/Packages\n' "$(sha256sum <"$dir/binary-$arch/Packages" | cut -d' ' -f1)" \
        "$(stat -c %s "$dir/binary-$arch/Packages")" $arch
    done
  } >"$lab/repo/dists/$name/Release"
}
suite lab sonvexlab-lib_1.0_amd64.deb sonvexlab-lib_1.0_i386.deb sonvexlab-lib-dev_1.0_amd64.deb \
  sonvexlab-stuck_1.0_i386.deb sonvexlab-app_1.0_i386.deb sonvexlab-app2_1.0_i386.deb
suite lab-security sonvexlab-lib_1.1_amd64.deb sonvexlab-lib_1.1_i386.deb sonvexlab-lib-dev_1.1_amd64.deb \
  sonvexlab-stuck_1.2_amd64.deb

printf 'deb [trusted=yes] file:%s lab main\ndeb [trusted=yes] file:%s lab-security main\n' "$lab/repo" "$lab/repo" \
  >"$lab/sources.list"
cat >"$lab/apt.conf" <<EOF
Dir::Etc::SourceList "$lab/sources.list";
Dir::Etc::SourceParts "$lab/sources.list.d";
Dir::Etc::PreferencesParts "$lab/preferences.d";
Dir::State::Lists "$lab/lists";
Dir::Cache::Archives "$lab/archives";
EOF
export APT_CONFIG=$lab/apt.conf

purge_lab_packages() {
  local installed
  installed=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' 'sonvexlab-*' 2>/dev/null | awk '/installed$/ {print $1}' || true)
  [ -z "$installed" ] || dpkg --purge $installed >/dev/null
}
trap purge_lab_packages EXIT
purge_lab_packages

# What ./run gives the set-up.
step() { printf '\n==> %s\n' "$*"; }
warn() { printf 'run: warning: %s\n' "$*" >&2; }
die() { printf 'run: %s\n' "$*" >&2; exit 1; }
as_root() { "$@"; }
# shellcheck source=tools/setup/packages.sh
source "$top/tools/setup/packages.sh"
packages=()
# Runs a set-up step in this shell (it sets variables) and indents what it prints.
indented() {
  local status=0
  "$@" >"$lab/step.log" 2>&1 || status=$?
  { grep -v 'Reading database' "$lab/step.log" || true; } | sed 's/^/    /'
  return $status
}
lab_state() { dpkg-query -W -f='    ${Package}:${Architecture} ${Version} ${db:Status-Abbrev}\n' 'sonvexlab-*' 2>/dev/null | grep ' ii' | sort || true; }

echo "== 1. amd64 packages installed from the newer suite while the machine had amd64 indexes only"
apt-get update -qq -o APT::Architectures=amd64 >/dev/null 2>&1
apt-get install -y -qq sonvexlab-lib:amd64 sonvexlab-lib-dev >/dev/null 2>&1
lab_state
echo "   then the security suite changes and its i386 index arrives damaged; apt keeps the old amd64 one:"
sleep 1
suite lab-security sonvexlab-lib_1.1_amd64.deb sonvexlab-lib_1.1_i386.deb sonvexlab-lib-dev_1.1_amd64.deb \
  sonvexlab-stuck_1.2_amd64.deb
truncate -s -40 "$lab/repo/dists/lab-security/main/binary-i386/Packages"
indented apt_update

echo
echo "== 2. plain apt-get asked for the i386 package that needs the library's twin"
indented apt-get install -y -qq --no-remove sonvexlab-app:i386 || true

echo
echo "== 3. the set-up asked for the same (install_packages, as ./run calls it)"
win32_packages=(sonvexlab-app:i386)
indented install_packages 1
lab_state
echo "    pins written to $twins_pref:"
sed 's/^/      /' "$twins_pref"

echo
echo "== 4. a skew no common version resolves: sonvexlab-stuck 1.2 installed for amd64, 1.0 offered for i386 only"
apt-get install -y -qq sonvexlab-stuck:amd64 >/dev/null 2>&1
win32_packages=(sonvexlab-app2:i386)
win32_reason=""
indented install_packages 1
echo "    win32_reason: $win32_reason"
lab_state

echo
echo "== 5. the mirror done syncing (lab-security has its i386 index and the updates for i386 too)"
make_deb sonvexlab-stuck 1.2 i386 "Multi-Arch: same"
rm -rf "$lab/repo/dists/lab-security" "$lab/repo/pool/lab-security"
suite lab-security sonvexlab-lib_1.1_amd64.deb sonvexlab-lib_1.1_i386.deb sonvexlab-lib-dev_1.1_amd64.deb \
  sonvexlab-stuck_1.2_amd64.deb sonvexlab-stuck_1.2_i386.deb
indented apt_update
indented resolve_multiarch_skew sonvexlab-app:i386
if [ -f "$twins_pref" ]; then echo "    $twins_pref is still there"; else echo "    $twins_pref is gone"; fi
echo
echo "the sonvexlab-* packages are purged on exit; the trial's files stay in $lab"
