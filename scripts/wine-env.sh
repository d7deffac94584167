# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build folder,
# code page 932, no Mono or Gecko prompts. Usage: . scripts/wine-env.sh BUILD_DIR
_velmora_build="${1:?build folder}"
mkdir -p "$_velmora_build"
export WINEPREFIX="$(cd "$_velmora_build" && pwd)/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8
if [ -x /usr/lib/wine/wine64 ]; then
  export VELMORA_WINE=/usr/lib/wine/wine64
  export VELMORA_WINESERVER=/usr/lib/wine/wineserver
else
  export VELMORA_WINE=wine64
  export VELMORA_WINESERVER=wineserver
fi

# Starts a persistent Wine server and boots the prefix, so that each program starts in well under
# a second and no background process holds the test runner's output pipes.
velmora_wine_start() {
  "$VELMORA_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$VELMORA_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

velmora_wine_stop() {
  "$VELMORA_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}
