#!/usr/bin/env bash
# tools/emulation/i386 detect over made-up binfmt_misc folders and loaders: native, emulated, neither.
set -uo pipefail
detect=$(cd "$(dirname "$0")/../../tools/emulation" && pwd)/i386
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '#!/bin/sh\nexit 0\n' > "$work/starts"
printf '#!/bin/sh\nexit 126\n' > "$work/fails"
chmod +x "$work/starts" "$work/fails"

# entry FOLDER NAME STATE MAGIC MASK: a binfmt_misc entry file as the kernel shows it.
entry() {
  mkdir -p "$1"
  printf '%s\ninterpreter /usr/bin/qemu\nflags: F\noffset 0\nmagic %s\nmask %s\n' "$3" "$4" "$5" > "$1/$2"
  echo 1 > "$1/status"
  : > "$1/register"
}
i386_magic=7f454c4601010100000000000000000002000300
i386_mask=fffffffffffefe00fffffffffffffffffeffffff
arm_magic=7f454c4601010100000000000000000002002800
entry "$work/i386" qemu-i386 enabled $i386_magic $i386_mask
entry "$work/off" qemu-i386 disabled $i386_magic $i386_mask
entry "$work/arm" qemu-arm enabled $arm_magic $i386_mask
entry "$work/nomask" qemu-i386 enabled $i386_magic ''
mkdir -p "$work/empty"

failed=0
# binfmt folder, loader, expected
while read -r folder loader expected; do
  got=$("$detect" detect --binfmt "$work/$folder" --loader "$work/$loader")
  if [ "$got" = "$expected" ]; then
    echo "ok: $folder, loader $loader: $got"
  else
    echo "FAILED: $folder, loader $loader: $got, expected $expected"
    failed=1
  fi
done <<'CASES'
empty starts native
missing starts native
i386 starts emulated
nomask starts emulated
off starts native
arm starts native
empty fails neither
i386 fails neither
CASES
exit $failed
