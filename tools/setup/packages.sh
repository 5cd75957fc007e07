# Package set-up of ./run, sourced by it: what the trees need from Debian, installed so that a
# mirror caught half-way through a sync does not stop a new machine.
#
# Everything this changes in the apt configuration lives in files named for the project:
#   /etc/apt/sources.list.d/sonvex-bookworm-backports.sources  qemu 10 for the emulated runs
#   /etc/apt/preferences.d/sonvex-multiarch-twins  only while the mirror offers an i386 library
#                                                  at another version than its amd64 twin
#   /etc/apt/sources.list.d/sonvex-source-packages.sources  deb-src entries, written by
#                                                  ./run bench for the peers' source packages
# `./run apt-config` prints them with what they are for; `./run apt-config --undo` removes them.
#
# Expects from ./run: step, warn, die, as_root, and the arrays packages (amd64) and
# win32_packages (i386).

# Where this machine's apt keeps its parts (normally /etc/apt/...; APT_CONFIG can move them).
apt_preferences_dir=/etc/apt/preferences.d/
apt_sources_dir=/etc/apt/sources.list.d/
eval "$(apt-config shell apt_preferences_dir Dir::Etc::preferencesparts/d apt_sources_dir Dir::Etc::sourceparts/d 2>/dev/null)"
backports_list=${apt_sources_dir%/}/sonvex-bookworm-backports.sources
twins_pref=${apt_preferences_dir%/}/sonvex-multiarch-twins
source_packages_list=${apt_sources_dir%/}/sonvex-source-packages.sources
# Another run of apt (an unattended upgrade, a second set-up) holds the lock for a while.
apt_quiet=(-qq -o Acquire::Retries=3 -o DPkg::Lock::Timeout=600)

package_installed() { # package[:arch]
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing_packages() { # package...: prints those not installed
  local p
  for p in "$@"; do package_installed "$p" || printf '%s\n' "$p"; done
}

# A bookworm-backports source made from the machine's own Debian source (its mirror and key),
# so that no mirror address is written into the project.
add_backports_source() {
  local uris="" signed=""
  [ -f "$backports_list" ] && return 0
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uris=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
    signed=$(awk '/^Signed-By:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uris" ] && [ -f /etc/apt/sources.list ]; then
    uris=$(awk '$1 == "deb" && $3 == "bookworm" {for (i = 2; i <= NF; ++i) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' /etc/apt/sources.list)
  fi
  [ -n "$uris" ] || { warn "no Debian bookworm apt source found to base a bookworm-backports source on"; return 1; }
  [ -n "$signed" ] || signed=/usr/share/keyrings/debian-archive-keyring.gpg
  printf '# Written by the Sonvex ./run set-up: qemu 10 for the emulated 32-bit runs.\n# ./run apt-config --undo removes it.\nTypes: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
    "$uris" "$signed" | as_root tee "$backports_list" >/dev/null
}

# apt-get update, tried three times. An index that still fails to download is named and left
# out: the packages the trees need may well be in the indexes that did arrive, and whether
# they are is decided by the install that follows, not here.
apt_update() {
  local log attempt
  log=$(mktemp)
  for attempt in 1 2 3; do
    if as_root apt-get update "${apt_quiet[@]}" >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    [ $attempt -lt 3 ] && sleep $((attempt * 5))
  done
  if ! grep -q '^E: Failed to fetch' "$log"; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)$/\1\t\2/p' "$log" | while IFS=$'\t' read -r url reason; do
    warn "apt index $url failed three times (${reason%% \[IP:*}); going on with the indexes that arrived"
  done
  rm -f "$log"
  return 0
}

# The version apt would install of package:arch, or nothing.
candidate_version() {
  apt-cache policy "$1" 2>/dev/null | awk '/^ *Candidate:/ {if ($2 != "(none)") print $2; exit}'
}

# For each name, one line for amd64 and one for i386: name arch installed candidate offered,
# where offered is every version the indexes have (highest first, comma-separated) and "-"
# stands for none. One apt-cache call for all of them.
package_versions() { # name...
  local args=() name
  for name in "$@"; do args+=("$name:amd64" "$name:i386"); done
  apt-cache "${apt_view[@]}" policy "${args[@]}" 2>/dev/null | awk '
    function flush() { if (name != "") print name, arch, installed, candidate, (offered == "" ? "-" : offered) }
    /^[^ ].*:$/ {
      flush()
      header = substr($0, 1, length($0) - 1)
      arch = "amd64"
      if (header ~ /:i386$/) { arch = "i386"; header = substr(header, 1, length(header) - 5) }
      name = header; installed = "-"; candidate = "-"; offered = ""; version = ""
      next
    }
    /^  Installed:/ { if ($2 != "(none)") installed = $2; next }
    /^  Candidate:/ { if ($2 != "(none)") candidate = $2; next }
    /^ (\*\*\*|   ) [^ ]+ -?[0-9]+$/ { version = $(NF - 1); next }
    /^        [0-9-]+ / {
      # An index offers the version; the dpkg status file only says it is installed.
      if (version != "" && $2 != "/var/lib/dpkg/status" && index("," offered ",", "," version ",") == 0)
        offered = (offered == "" ? version : offered "," version)
      next
    }
    END { flush() }'
}

# An i386 library that is Multi-Arch: same must be installed at exactly the version of its amd64
# twin. A mirror whose security suite has the amd64 index but not yet the i386 one offers the
# newer version for amd64 only, and apt then cannot resolve anything that needs the i386 copy
# (its message names other packages). For each package of the i386 packages' dependency closure
# whose two candidates disagree, this pins the highest version offered for both architectures,
# and says which. A skew that no common version resolves stops the set-up with the package, its
# two versions and what to do (in skew_problem, returning 1). Sets skew_downgrade to 1 when a
# pin takes an installed package back.
twins_needing_pins=()
skew_downgrade=0
skew_problem=""
apt_view=()

# The skew is judged on what the indexes offer, not on what the pins of an earlier run make of it.
apt_view_without_our_pins() {
  local view f
  view=$(mktemp -d)
  for f in "${apt_preferences_dir%/}"/*; do
    [ -e "$f" ] && [ "$f" != "$twins_pref" ] && ln -s "$f" "$view/"
  done
  apt_view=(-o "Dir::Etc::PreferencesParts=$view")
  apt_view_dir=$view
}

resolve_multiarch_skew() { # i386 package...
  local status=0
  apt_view_without_our_pins
  resolve_skew_in_view "$@" || status=$?
  rm -rf "$apt_view_dir"
  apt_view=()
  return $status
}
resolve_skew_in_view() { # i386 package...
  local closure same="" pins="" name arch installed candidate offered common source
  local -A amd64_installed amd64_candidate amd64_offered i386_candidate i386_offered
  closure=$(apt-cache "${apt_view[@]}" depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances "$@" 2>/dev/null | sed -n 's/^\([^ <][^ ]*\):i386$/\1/p' | sort -u)
  local -A source_of
  # shellcheck disable=SC2086
  while read -r name source; do
    source_of[$name]=$source
    same+=" $name"
  done < <(apt-cache "${apt_view[@]}" show $(printf '%s:i386 ' $closure) 2>/dev/null | awk '
             /^Package:/ {p = $2; s = $2; m = 0}
             /^Source:/ {s = $2}
             /^Multi-Arch: same$/ {m = 1}
             /^$/ {if (m && !seen[p]++) print p, s; m = 0}
             END {if (m && !seen[p]++) print p, s}')
  twins_needing_pins=()
  skew_downgrade=0
  [ -n "$same" ] || return 0
  # shellcheck disable=SC2086
  while read -r name arch installed candidate offered; do
    if [ "$arch" = amd64 ]; then
      amd64_installed[$name]=$installed amd64_candidate[$name]=$candidate amd64_offered[$name]=$offered
    else
      i386_candidate[$name]=$candidate i386_offered[$name]=$offered
    fi
  done < <(package_versions $same)
  for name in $same; do
    candidate=${i386_candidate[$name]:--}
    [ "$candidate" != - ] && [ "${amd64_candidate[$name]:--}" != - ] || continue
    [ "${amd64_candidate[$name]}" != "$candidate" ] || continue
    installed=${amd64_installed[$name]:--}
    common=$(grep -Fxf <(tr , '\n' <<<"${i386_offered[$name]}") <(tr , '\n' <<<"${amd64_offered[$name]}") | head -n1)
    if [ -z "$common" ]; then
      [ "$installed" != - ] || continue  # no amd64 copy installed: the i386 one can stand alone
      skew_problem="$name is installed for amd64 at $installed, and the apt indexes offer it for i386 only at $candidate: at no version for both architectures (a mirror in the middle of a sync).
     wine32:i386 needs the two copies at one version. Run ./run again once the mirror has caught up
     (apt-cache policy $name:i386 then offers $installed), or point apt at another mirror."
      return 1
    fi
    if [ "$installed" != - ] && dpkg --compare-versions "$common" lt "$installed"; then skew_downgrade=1; fi
    twins_needing_pins+=("$name at $common (offered for amd64: ${amd64_candidate[$name]}, for i386: $candidate)")
    # Every package built from the same source moves with it (a -dev package needs its library's
    # exact version); its architecture-independent packages carry the version without a binNMU.
    pins+=$(printf '\n\nPackage: src:%s:any\nPin: version %s\nPin-Priority: 1001' "${source_of[$name]:-$name}" "$common")
    if [[ $common =~ ^(.*)\+b[0-9]+$ ]]; then
      pins+=$(printf '\n\nPackage: src:%s:any\nPin: version %s\nPin-Priority: 1001' "${source_of[$name]:-$name}" "${BASH_REMATCH[1]}")
    fi
  done
  if [ -z "$pins" ]; then
    [ ! -f "$twins_pref" ] || { as_root rm -f "$twins_pref"; echo "the apt indexes agree again for both architectures: removed $twins_pref"; }
    return 0
  fi
  {
    echo "# Written by the Sonvex ./run set-up on $(date -u +%F): these i386 libraries were offered"
    echo "# at another version than their amd64 twins (a mirror caught mid-sync), so each is held at"
    echo "# the highest version offered for both. ./run removes this file once the indexes agree;"
    echo "# ./run apt-config --undo removes it now (apt-get upgrade then brings back the newer ones)."
    printf '%s\n' "${pins#$'\n'}"
  } | as_root tee "$twins_pref" >/dev/null
  warn "the apt indexes offer ${#twins_needing_pins[@]} i386 libraries at other versions than their amd64 twins; holding each at the version both have ($twins_pref):"
  printf '       %s\n' "${twins_needing_pins[@]}" >&2
}

# Installs what is missing of the amd64 list and, when asked, the i386 list: in one apt-get
# call, so that the resolver sees both architectures at once. When the i386 part cannot be had,
# the amd64 part is still installed and win32_reason says why the i386 part is not.
install_packages() { # with-i386 (0|1)
  local with_i386=$1 missing=() missing_i386=() flags=()
  mapfile -t missing < <(missing_packages "${packages[@]}")
  [ "$with_i386" -eq 0 ] || mapfile -t missing_i386 < <(missing_packages "${win32_packages[@]}")
  if [ $((${#missing[@]} + ${#missing_i386[@]})) -eq 0 ]; then
    echo "all packages present"
    return 0
  fi
  step "installing ${missing[*]} ${missing_i386[*]}"
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    [ ${#missing[@]} -eq 0 ] || die "installing packages needs root or password-less sudo; missing: ${missing[*]}"
    win32_reason="installing ${missing_i386[*]} needs root or password-less sudo"
    return 0
  fi
  if [ ${#missing_i386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386 || die "cannot add the i386 architecture"
  fi
  apt_update || die "apt-get update failed (its output is above)"
  if [ ${#missing_i386[@]} -gt 0 ]; then
    if ! resolve_multiarch_skew "${missing_i386[@]}"; then
      win32_reason="$skew_problem"
      missing_i386=()
    elif [ -z "$(candidate_version "${missing_i386[0]}")" ]; then
      win32_reason="the apt indexes offer no ${missing_i386[0]} (is the i386 index of the main suite missing?)"
      missing_i386=()
    fi
  fi
  [ $skew_downgrade -eq 0 ] || flags+=(--allow-downgrades)
  if [ ${#missing_i386[@]} -gt 0 ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_quiet[@]}" --no-install-recommends \
      --no-remove "${flags[@]}" "${missing[@]}" "${missing_i386[@]}" && return 0
    win32_reason="apt-get could not install ${missing_i386[*]} (its message is above)"
  fi
  [ ${#missing[@]} -eq 0 ] || as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_quiet[@]}" \
    --no-install-recommends --no-remove "${missing[@]}" || die "could not install: ${missing[*]}"
}

# qemu 10 from bookworm-backports (bookworm's own 7.2 takes a minute to start one program).
qemu_major() {
  dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null | sed -n 's/^\([0-9]*:\)\{0,1\}\([0-9]*\)\..*/\2/p'
}

install_qemu() {
  local major
  major=$(qemu_major)
  [ -n "$major" ] && [ "$major" -ge 10 ] && return 0
  step "installing qemu-user-static from bookworm-backports"
  add_backports_source || return 1
  apt_update || return 1
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_quiet[@]}" --no-install-recommends \
    --no-remove -t bookworm-backports qemu-user-static || return 1
  major=$(qemu_major)
  [ -n "$major" ] && [ "$major" -ge 10 ]
}

# ./run apt-config [--undo]
apt_config() {
  local files=() f
  for f in "$backports_list" "$twins_pref" "$source_packages_list"; do [ -f "$f" ] && files+=("$f"); done
  if [ ${#files[@]} -eq 0 ]; then
    echo "the Sonvex set-up has no file in the apt configuration"
    return 0
  fi
  if [ "${1:-}" = "--undo" ]; then
    as_root rm -f "${files[@]}" || die "cannot remove ${files[*]}"
    echo "removed ${files[*]}; packages stay installed (apt-get update refreshes the indexes)"
    return 0
  fi
  for f in "${files[@]}"; do
    printf '\n== %s\n' "$f"
    cat "$f"
  done
}
