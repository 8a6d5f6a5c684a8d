#!/bin/sh
# Runs one Windows program under Wine for CTest: quiet, in a Wine prefix of its own that lives
# under the build tree (made on first use, removed with the build), never the user's ~/.wine.
# Usage: wine-run.sh program.exe [arguments...]
set -e
wine=${QARVEX_WINE:-/usr/lib/wine/wine64}
if [ ! -x "$wine" ]; then
    wine=$(command -v wine64 || command -v wine || true)
fi
if [ -z "$wine" ]; then
    echo "wine-run.sh: Wine is not installed (Debian package wine64)" >&2
    exit 127
fi
if [ -z "$WINEPREFIX" ]; then
    # The program lives in the build tree; the prefix goes beside CMakeCache.txt.
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
        dir=$(dirname "$dir")
    done
    [ "$dir" = / ] && dir=${TMPDIR:-/tmp}/qarvex-wine-$(id -u)
    WINEPREFIX=$dir/wineprefix
fi
export WINEPREFIX
export WINEDEBUG=-all
# No window system: a message box fails at once instead of waiting for a click.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
# Made once, under a lock, so that tests started side by side (ctest -j) do not all set it up.
if [ ! -f "$WINEPREFIX/system.reg" ] && command -v flock >/dev/null; then
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX/.setup-lock" sh -c '
        [ -f "$WINEPREFIX/system.reg" ] && exit 0
        "$1" wineboot --init >/dev/null 2>&1
        server=$(dirname "$1")/wineserver64
        [ -x "$server" ] || server=$(command -v wineserver || true)
        [ -n "$server" ] && "$server" -w
        exit 0' setup "$wine"
fi
exec "$wine" "$@"
