#!/bin/sh
# The wine of a test run. The tests' prefix is theirs alone: nothing but this
# build tree's tests uses it, so the wineserver that runs for it is always the
# one this script started.
#   start PREFIX PIDFILE  makes the prefix on first use (tools/wine_prefix.sh),
#                         ends a server left running for it by an earlier,
#                         interrupted run, and starts a persistent one, so
#                         that each program under test starts warm (about
#                         0.05 s rather than 0.8 s) and none outlives its
#                         server;
#   stop PREFIX PIDFILE   ends that server, with its services and programs.
set -eu
export WINEPREFIX="$2" WINEDEBUG=-all
pidfile="$3"

case "$1" in
start)
    "$(dirname "$0")/../../tools/wine_prefix.sh" "$WINEPREFIX" >/dev/null
    if wineserver -k0 2>/dev/null; then
        wineserver -k 2>/dev/null || true
        wineserver -w
    fi
    # In the foreground of a background job, so that its process is known;
    # without the test run's output, which would otherwise stay open.
    wineserver -p -f </dev/null >/dev/null 2>&1 &
    server=$!
    echo "$server" > "$pidfile"
    # Ready once it answers (signal 0 asks without harm). A program started
    # before that would start a server of its own, holding its test's
    # output open for as long as that server runs.
    tries=0
    until wineserver -k0 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
            echo "wineserver did not start" >&2
            exit 1
        fi
        sleep 0.05
    done
    # The first program of a server starts wine's own services, which live
    # as long as the server and keep that program's output open: start
    # them here, away from any test's output.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    if [ -f "$pidfile" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        rm -f "$pidfile"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX PIDFILE" >&2
    exit 2
    ;;
esac
