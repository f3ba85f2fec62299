# Runs the Windows build under Wine; stderr carries only Wine's own chatter.
halvorn_exe() { wine "$HALVORN_EXE" "$@"; }
wine_run() { wine "$@"; }
