# Shared by the tools: where things are, how a preset is built, a prefix's fonts.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

build_preset() {
  local preset=$1
  if [ ! -f "$root/build/$preset/build.ninja" ]; then
    cmake --preset "$preset" -S "$root" >/dev/null
  fi
  cmake --build --preset "$preset"
}

# Gives a prefix the faces a user sees: this Wine does not find its own fonts and would draw every
# window in Liberation Sans, and the title-bar buttons as letters. Tahoma, MS Sans Serif and
# Marlett go into the prefix's Fonts folder; not Wine's Tahoma Bold, which draws 12 point no bolder
# than the regular face (without it Wine emboldens Tahoma itself).
install_prefix_fonts() {
  local fonts=$1/drive_c/windows/Fonts font
  [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 0
  for font in tahoma.ttf marlett.ttf sserife.fon; do
    [ -f "/usr/share/wine/fonts/$font" ] && cp -n "/usr/share/wine/fonts/$font" "$fonts"/
  done
  return 0
}
