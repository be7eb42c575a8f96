#!/bin/sh
# Starts or stops the Wine server that the tests of the Windows build share.
# Usage: wine-server.sh start|stop WINEPREFIX
# The server stays up between the tests, so that each run takes a fraction of a second
# instead of starting Wine anew; every stream is detached, since a process that Wine leaves
# running would otherwise hold the test runner's pipes open. Without a display a message box
# returns at once, so no test waits for a click.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all
unset DISPLAY
case $action in
  start)
    mkdir -p "$WINEPREFIX"
    # Fails only when a server already runs for the prefix, which serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # The first run creates the prefix when it is new and starts Wine's helper processes.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    echo "Wine server up for $WINEPREFIX"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    echo "Wine server stopped for $WINEPREFIX"
    ;;
  *)
    echo "usage: $0 start|stop WINEPREFIX" >&2
    exit 2
    ;;
esac
