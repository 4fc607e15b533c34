# Shared by the tools: where things are, and which of the two builds this machine can run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian's 32-bit Wine needs a kernel that runs 32-bit Linux programs; some kernels are booted
# without that (ia32_emulation off), and then only the 64-bit build can run here.
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

build_preset() {
  local preset=$1
  if [ ! -f "$root/build/$preset/build.ninja" ]; then
    cmake --preset "$preset" -S "$root" >/dev/null
  fi
  cmake --build --preset "$preset"
}
