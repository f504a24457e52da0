#!/usr/bin/env bash
# Runs one test on an X server of its own, so GUI tests running side by side never
# take each other's focus. The display number is chosen by Xvfb itself (-displayfd).
set -u
if ! command -v Xvfb >/dev/null 2>&1; then
    exec "$@"
fi
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xpid=$!
display=""
if read -r -t 10 display <"$fifo"; then :; fi
rm -f "$fifo"
if [ -z "$display" ]; then
    kill "$xpid" 2>/dev/null
    echo "run-with-xvfb: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$display"
"$@"
rc=$?
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
exit $rc
