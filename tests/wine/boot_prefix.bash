# Setup of a Wine lane: creates its prefix (WINEPREFIX, of architecture
# WINEARCH) on first use and waits until Wine has written it out.
set -euo pipefail
source "$SOURCE_DIR/tests/wine/lib.bash"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 240 "$WINELOADER" wineboot.exe -i
fi
timeout 60 "$WINESERVER" -w
test -f "$WINEPREFIX/system.reg"
