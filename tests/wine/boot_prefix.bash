# Setup of a Wine lane: creates its prefix (WINEPREFIX, of architecture
# WINEARCH) on first use and waits until Wine has written it out.
set -euo pipefail
source "$SOURCE_DIR/tests/wine/lib.bash"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 240 "$WINELOADER" wineboot.exe -i
fi
# COM creates a shell link through the module its class registration names.
# Windows names system32's shell32.dll, the very shell its programs import;
# Wine names its own by full path, which a process that loaded the shell
# double would load as a second shell. The bare name means the shell the
# process already has: Wine's own, or the double.
timeout 60 "$WINELOADER" reg add \
  'HKLM\Software\Classes\CLSID\{00021401-0000-0000-C000-000000000046}\InprocServer32' /ve /d shell32.dll /f >/dev/null
timeout 60 "$WINESERVER" -w
test -f "$WINEPREFIX/system.reg"
