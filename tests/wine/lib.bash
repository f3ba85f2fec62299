# Runs Windows programs under the Wine of the test's lane: the loader and the
# server come from WINELOADER and WINESERVER, never from /usr/bin/wine, which
# takes the 32-bit loader whenever one is installed. Stderr carries only Wine's
# own chatter.
wine_run() { "$WINELOADER" "$@"; }
halvorn_exe() { wine_run "$HALVORN_EXE" "$@"; }
# Waits until the prefix's server has ended, and with it every program it ran.
wine_wait() { "$WINESERVER" -w; }
# Wine takes its ANSI code page from the locale; C.UTF-8 gives 1252, as on an
# English Windows, whatever locale the machine runs the tests in.
export LC_ALL=C.UTF-8
