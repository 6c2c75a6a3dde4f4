#!/bin/sh
# The wine of a test run. "start PREFIX PIDFILE" makes the prefix on first use
# (tools/wine_prefix.sh) and starts a persistent wineserver for it, so that
# each program under test starts warm (about 0.15 s rather than 0.8 s);
# "stop PREFIX PIDFILE" ends that server. A server that someone else runs
# for the prefix is used as it is and left alone.
set -eu
export WINEPREFIX="$2" WINEDEBUG=-all
pidfile="$3"
case "$1" in
start)
    "$(dirname "$0")/../../tools/wine_prefix.sh" "$WINEPREFIX" >/dev/null
    # In the foreground of a background job, so that its process is known;
    # without the test run's output, which would otherwise stay open.
    wineserver -p -f </dev/null >/dev/null 2>&1 &
    server=$!
    # Ready once it answers (signal 0 asks without harm). A program started
    # before that would start a server of its own, holding its test's
    # output open for as long as that server runs.
    tries=0
    until wineserver -k0 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then
            echo "wineserver did not start" >&2
            exit 1
        fi
        sleep 0.05
    done
    if kill -0 "$server" 2>/dev/null; then
        echo "$server" > "$pidfile"
    fi
    # The first program of a server starts wine's own services, which live
    # as long as the server and keep that program's output open: start
    # them here, away from any test's output.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    # Only a server that start started, with its services and programs.
    if [ -f "$pidfile" ]; then
        wineserver -k 2>/dev/null || true
        rm -f "$pidfile"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX PIDFILE" >&2
    exit 2
    ;;
esac
