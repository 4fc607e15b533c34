#!/usr/bin/env bash
# cmake/wine-run --expect over a made-up Wine loader: a test program that ran to its end passes or
# fails by its exit code; one that printed nothing never started and is started once more (and the
# prefix's restart log says so); one that ended without its end line fails even with exit code 0.
set -uo pipefail
wine_run=$(cd "$(dirname "$0")/../../cmake" && pwd)/wine-run
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A prefix wine-run takes as made: its version mark and a registry.
prefix=$work/prefix
mkdir -p "$prefix"
sed -n 's/^prefix_version=//p' "$wine_run" > "$prefix/.velquist-ready"
: > "$prefix/system.reg"

# The loader answers call N (counted from 1) with the Nth word of $SCRIPT: "end" prints the end line
# and exits 0, "end3" prints it and exits 3, "silent" prints nothing, "half" prints a line without it.
cat > "$work/loader" <<'LOADER'
#!/usr/bin/env bash
count=$(( $(cat "$CALLS" 2>/dev/null || echo 0) + 1 ))
echo "$count" > "$CALLS"
read -r -a words <<<"$SCRIPT"
case "${words[count - 1]:-silent}" in
  end) printf 'running\r\nEND 3 cases\r\n' ;;
  end3) printf 'END 1 case\r\n'; exit 3 ;;
  silent) exit "${SILENT_STATUS:-0}" ;;
  half) printf 'running\r\n' ;;
esac
LOADER
chmod +x "$work/loader"

failed=0
# script, status when silent, expected exit, expected restarts
while read -r script silent expected restarts; do
  rm -f "$work/calls" "$prefix.restarts"
  SCRIPT=${script//,/ } SILENT_STATUS=$silent CALLS=$work/calls VELQUIST_WINE_LOADER=$work/loader DISPLAY=:none \
    "$wine_run" --prefix "$prefix" --arch win64 --expect '^END [0-9]+ cases?' test.exe >/dev/null 2>&1
  got=$?
  logged=$(cat "$prefix.restarts" 2>/dev/null | wc -l)
  if [ "$got" = "$expected" ] && [ "$logged" = "$restarts" ]; then
    echo "ok: $script (silent exit $silent): exit $got, $logged restart(s)"
  else
    echo "FAILED: $script (silent exit $silent): exit $got, $logged restart(s); expected exit $expected, $restarts restart(s)"
    failed=1
  fi
done <<'CASES'
end 0 0 0
end3 0 3 0
silent,end 0 0 1
silent,end 53 0 1
silent,silent 0 1 1
silent,silent 5 5 1
half 0 1 0
CASES
exit $failed
