# How this machine runs the win32 tree, sourced by ./run. Debian's 32-bit Wine loader is an
# i386 Linux program. Most x86-64 kernels execute i386 code themselves, and then the product
# runs natively, on the real processor; only the kernel-version matrix, which needs emulated
# processor models, runs under qemu-i386, in a binfmt_misc instance of its own (a user and mount
# namespace) so that the rest of the machine keeps running i386 programs natively. A kernel
# that cannot execute i386 code gets qemu-i386 for everything through a global binfmt_misc entry.
#
# Sets win32_mode (native | emulated | none), win32_matrix (private | global | none) and, when
# something is missing, win32_reason / matrix_reason. Expects step, warn, die, as_root from
# ./run and install_qemu from packages.sh.

binfmt_dir=/proc/sys/fs/binfmt_misc
qemu_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
i386_probe=""
win32_mode=none
win32_matrix=none
win32_reason=""
matrix_reason=""

# A static i386 program that exits with 40, plus 1 when the processor it runs on reports AVX:
# natively it shows this processor, under qemu the emulated model (kvm32 has no AVX,
# SandyBridge has).
make_i386_probe() { # dir
  local dir=$1
  i386_probe=$dir/i386-probe
  [ -x "$i386_probe" ] && return 0
  mkdir -p "$dir"
  cat >"$dir/i386-probe.s" <<'EOF'
    .globl _start
_start:
    movl $1, %eax
    xorl %ecx, %ecx
    cpuid
    shrl $28, %ecx
    andl $1, %ecx
    leal 40(%ecx), %ebx
    movl $1, %eax
    int $0x80
EOF
  as --32 -o "$dir/i386-probe.o" "$dir/i386-probe.s" 2>/dev/null && ld -m elf_i386 -o "$i386_probe" "$dir/i386-probe.o" 2>/dev/null
}

probe_status() { # command...: the probe's exit status under the given prefix command
  local status=0
  "$@" "$i386_probe" 2>/dev/null || status=$?
  echo "$status"
}

# Runs a command with a binfmt_misc instance of its own; with an entry given, qemu-i386 is
# registered there. Needs a kernel whose binfmt_misc can be mounted in a user namespace (6.7 on).
with_private_binfmt() { # entry|"" command...
  local entry=$1
  shift
  unshare --user --map-root-user --mount -- sh -c '
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || exit 97
    if [ -n "$1" ]; then printf "%b" "$1" >/proc/sys/fs/binfmt_misc/register 2>/dev/null || exit 98; fi
    shift
    exec "$@"' sh "$entry" "$@"
}

global_qemu_entry() { [ -e "$binfmt_dir/qemu-i386" ]; }

remove_global_qemu_entry() {
  global_qemu_entry || return 0
  if command -v update-binfmts >/dev/null && update-binfmts --display qemu-i386 >/dev/null 2>&1; then
    as_root update-binfmts --disable qemu-i386 >/dev/null 2>&1 || true
  fi
  if global_qemu_entry; then echo -1 | as_root tee "$binfmt_dir/qemu-i386" >/dev/null || return 1; fi
  echo "removed the global qemu-i386 binfmt_misc entry: this kernel runs i386 programs itself"
}

add_global_qemu_entry() {
  [ -e "$binfmt_dir/register" ] || as_root mount -t binfmt_misc binfmt_misc "$binfmt_dir" || return 1
  # The F flag opens the interpreter when the entry is registered: an entry made before the
  # package changed still runs the old file, so it is made again.
  if global_qemu_entry && ! grep -qx 'interpreter /usr/bin/qemu-i386-static' "$binfmt_dir/qemu-i386"; then
    echo -1 | as_root tee "$binfmt_dir/qemu-i386" >/dev/null || return 1
  fi
  global_qemu_entry || printf '%b' "$qemu_entry" | as_root tee "$binfmt_dir/register" >/dev/null
}

# Whether the kernel itself executes the probe: with a global qemu entry in the way, the probe
# runs in a binfmt_misc instance without it, or (older kernels, as root) with the entry
# switched off for the moment it takes.
kernel_runs_i386() {
  if ! global_qemu_entry; then
    [ "$(probe_status)" -ge 40 ] && [ "$(probe_status)" -le 41 ]
    return
  fi
  local status
  status=$(probe_status with_private_binfmt "")
  if [ "$status" = 97 ] && [ "$(id -u)" -eq 0 ]; then
    echo 0 >"$binfmt_dir/qemu-i386"
    status=$(probe_status)
    echo 1 >"$binfmt_dir/qemu-i386"
  fi
  [ "$status" -ge 40 ] && [ "$status" -le 41 ]
}

# Whether qemu-i386 in a private binfmt_misc instance really emulates the model asked for.
private_emulation_works() {
  [ "$(QEMU_CPU=kvm32 probe_status with_private_binfmt "$qemu_entry")" = 40 ] &&
    [ "$(QEMU_CPU=SandyBridge probe_status with_private_binfmt "$qemu_entry")" = 41 ]
}

setup_32bit_execution() { # probe-dir
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    win32_reason=${win32_reason:-"the 32-bit Wine loader (package wine32:i386) is not installed"}
    return 0
  fi
  make_i386_probe "$1" || { win32_reason="cannot make the i386 probe program (as --32, ld -m elf_i386)"; return 0; }
  if kernel_runs_i386; then
    win32_mode=native
    remove_global_qemu_entry || warn "cannot remove the global qemu-i386 binfmt_misc entry (needs root): 32-bit programs stay emulated"
    global_qemu_entry && win32_mode=emulated
  fi
  if ! install_qemu; then
    if [ $win32_mode = native ]; then
      matrix_reason="qemu-user-static 10 or later from bookworm-backports could not be installed"
      warn "$matrix_reason: the kernel suites run on this processor only, not once per emulated model"
    else
      win32_reason="this kernel does not execute i386 programs, and qemu-user-static 10 or later from bookworm-backports could not be installed"
      win32_mode=none
    fi
    return 0
  fi
  if [ $win32_mode = native ]; then
    if private_emulation_works; then
      win32_matrix=private
    elif [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
      win32_matrix=global  # a phase of its own, with the entry registered only while it runs
    else
      matrix_reason="this kernel has no binfmt_misc per user namespace, and registering qemu-i386 for the machine needs root"
      warn "$matrix_reason: the kernel suites run on this processor only"
    fi
  elif [ $win32_mode = none ]; then
    add_global_qemu_entry || { win32_reason="cannot register qemu-i386 in binfmt_misc (needs root)"; return 0; }
    win32_mode=emulated
  fi
  if [ $win32_mode = emulated ]; then win32_matrix=global; fi
  local version
  if ! version=$(timeout 120 /usr/lib/wine/wine --version 2>&1); then
    win32_reason="the 32-bit Wine loader does not start: $version"
    win32_mode=none
    return 0
  fi
  case $win32_mode in
    native) echo "32-bit execution: $version, run natively by this kernel on $(cpu_name)" ;;
    emulated) echo "32-bit execution: $version through qemu-i386 $(dpkg-query -W -f='${Version}' qemu-user-static) (this kernel does not run i386 programs itself)" ;;
  esac
  case $win32_matrix in
    private) echo "processor-model matrix: qemu-i386 in a binfmt_misc instance of its own (user and mount namespace)" ;;
    global) [ $win32_mode = native ] && echo "processor-model matrix: qemu-i386 registered for the machine during that phase only" ;;
  esac
}

cpu_name() { sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1; }

# Runs a command with 32-bit programs emulated (QEMU_CPU picks the model), leaving the machine's
# own binfmt_misc as it was.
with_emulation() { # command...
  case $win32_matrix in
    private) with_private_binfmt "$qemu_entry" "$@" ;;
    global)
      if [ $win32_mode = emulated ]; then "$@"; return; fi
      add_global_qemu_entry || return 1
      local status=0
      "$@" || status=$?
      remove_global_qemu_entry >/dev/null || true
      return $status
      ;;
    *) return 1 ;;
  esac
}
