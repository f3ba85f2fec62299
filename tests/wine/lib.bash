# Runs the Windows build under Wine; stderr carries only Wine's own chatter.
halvorn_exe() { wine "$HALVORN_EXE" "$@"; }
# Runs any Windows program under Wine.
wine_run() { wine "$@"; }
